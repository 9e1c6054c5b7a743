#include "cli/run_report.h"

#include <optional>

#include "protocol/json_text.h"
#include "protocol/json_value.h"

namespace {

std::string KeyOf(const RunReport& report, std::string_view name) {
  if (report.index == nullptr) return {};
  for (const Tweak* tweak : *report.index) {
    if (tweak->name == name) return tweak->key;
  }
  return {};
}

// The result line of the tweak read so far, if it has one.
void FinishTweak(RunReport& report, const CliOutput& output) {
  if (report.result.empty()) return;
  const std::string key = KeyOf(report, report.name);
  if (report.result == "ok") ++report.ok;
  if (report.result == "skipped") ++report.skipped;
  if (report.result == "failed") ++report.failed;
  if (output.json) {
    std::string line = "{\"type\":\"tweak\",\"key\":" + JsonQuote(key) + ",\"name\":" + JsonQuote(report.name) +
                       ",\"result\":\"" + report.result + "\",\"reasons\":[";
    for (size_t i = 0; i < report.reasons.size(); ++i) {
      if (i > 0) line += ',';
      line += JsonQuote(report.reasons[i]);
    }
    output.out(line + "]}");
  } else {
    std::string word = report.result;
    word.resize(9, ' ');
    output.out(word + key + "  " + report.name);
    for (const std::string& reason : report.reasons) output.out("         " + reason);
  }
  report.result.clear();
  report.reasons.clear();
}

void ReportLog(RunReport& report, const std::string& level, const std::string& text, const CliOutput& output) {
  const auto starts = [&text](std::string_view prefix) { return text.starts_with(prefix); };
  if (starts("[OK] ") || starts("[FAIL] ") || starts("[SKIP] ")) {
    FinishTweak(report, output);
    const size_t space = text.find(' ');
    report.name = text.substr(space + 1);
    report.result = starts("[OK] ") ? "ok" : starts("[FAIL] ") ? "failed" : "skipped";
    constexpr std::string_view kApplied = ": already applied";
    if (report.result == "skipped" && report.name.ends_with(kApplied)) {
      report.name.resize(report.name.size() - kApplied.size());
      report.reasons.push_back("already applied");
    }
    return;
  }
  if (level == "err" && report.result == "failed") {
    report.reasons.push_back(text);
    return;
  }
  if (level == "warn" || level == "err") {
    if (starts("Cancelled by user")) report.cancelled = true;
    if (output.json) {
      output.out("{\"type\":\"log\",\"level\":" + JsonQuote(level) + ",\"text\":" + JsonQuote(text) + "}");
    } else {
      output.notice(text);
    }
    return;
  }
  // "Running N tweaks...", "[i/N] name": the steps, for a person watching.
  if (output.progress) output.notice(text);
}

}  // namespace

void ReportMessage(RunReport& report, std::string_view message, const CliOutput& output) {
  const std::optional<JsonValue> parsed = ParseJson(message);
  if (!parsed) return;
  const std::string type = JsonStringMember(*parsed, "type").value_or("");
  const auto number = [&parsed](std::string_view name) {
    const JsonValue* member = JsonMember(*parsed, name);
    return member == nullptr ? 0 : JsonInt32(*member).value_or(0);
  };
  if (type == "log") {
    ReportLog(report, JsonStringMember(*parsed, "level").value_or("info"),
              JsonStringMember(*parsed, "text").value_or(""), output);
  } else if (type == "progress") {
    FinishTweak(report, output);
    report.total = number("max");
  } else if (type == "done") {
    FinishTweak(report, output);
    report.done = true;
    const int32_t notRun = report.total - report.ok - report.skipped - report.failed;
    if (notRun > 0) report.cancelled = true;
    if (report.noRestorePoint) {
      if (!output.json) output.notice("--no-restore-point runs the tweaks without one.");
      return;
    }
    if (output.json) {
      output.out("{\"type\":\"summary\",\"ok\":" + std::to_string(report.ok) +
                 ",\"skipped\":" + std::to_string(report.skipped) + ",\"failed\":" + std::to_string(report.failed) +
                 ",\"notRun\":" + std::to_string(notRun > 0 ? notRun : 0) + "}");
    } else {
      std::string line = std::to_string(report.total) + " tweaks: " + std::to_string(report.ok) + " succeeded, " +
                         std::to_string(report.skipped) + " already applied, " + std::to_string(report.failed) +
                         " failed";
      if (notRun > 0) line += ", " + std::to_string(notRun) + " not run";
      output.out(line + ".");
    }
  } else if (type == "restore-point") {
    const JsonValue* created = JsonMember(*parsed, "created");
    report.noRestorePoint = created == nullptr || !created->boolean;
    // Its text comes again in the run's own "log".
    if (output.json) output.out(std::string(message));
  } else if (type == "undo-conflicts") {
    report.conflicts = true;
    if (output.json) {
      output.out(std::string(message));
      return;
    }
    output.notice("Nothing was undone: these changed since the run (--force puts them back all the same):");
    const JsonValue* list = JsonMember(*parsed, "conflicts");
    for (size_t i = 0; list != nullptr && i < list->items.size(); ++i) {
      output.notice("  " + JsonStringMember(list->items[i], "key").value_or("") + ": " +
                    JsonStringMember(list->items[i], "text").value_or(""));
    }
  }
}

int RunExitCode(const RunReport& report) {
  if (report.conflicts || report.noRestorePoint) return 1;
  if (!report.done) return 2;
  return report.failed > 0 || report.cancelled ? 1 : 0;
}
