#include "cli/commands.h"

#include <chrono>
#include <set>
#include <thread>

#include "app/selection_file.h"
#include "catalogue/category_keys.h"
#include "catalogue/tweak_index.h"
#include "cli/deploy_script.h"
#include "protocol/json_text.h"
#include "protocol/json_value.h"
#include "protocol/outbox.h"
#include "quarnfeld_version.h"
#include "run/run_state.h"

namespace {

struct Chosen {
  std::vector<int32_t> ids;
  std::string error;  // names what is wrong; nothing runs
};

std::string Listed(const std::vector<std::string>& keys) {
  std::string text;
  for (const std::string& key : keys) {
    if (!text.empty()) text += ", ";
    text += "\"" + key + "\"";
  }
  return text;
}

std::optional<int32_t> IdOf(const TweakIndex& index, const std::string& key) {
  for (size_t id = 0; id < index.size(); ++id) {
    if (index[id]->key == key) return static_cast<int32_t>(id);
  }
  return std::nullopt;
}

// The tweaks a command names, in its order; unknown or repeated keys, and a
// selection file that is no selection, are errors that name them.
Chosen Choose(const CliSelection& selection, const TweakIndex& index, const CliSystem& system) {
  Chosen chosen;
  std::vector<std::string> unknown;
  std::vector<std::string> repeated;
  if (selection.recommended) {
    for (size_t id = 0; id < index.size(); ++id) {
      if (index[id]->recommended) chosen.ids.push_back(static_cast<int32_t>(id));
    }
  } else if (!selection.fromFile.empty()) {
    const std::optional<std::string> text = system.readFile(selection.fromFile, kMaxSelectionBytes);
    if (!text) {
      chosen.error = "cannot read \"" + selection.fromFile + "\"";
      return chosen;
    }
    SelectionRead read = ReadSelection(*text, index);
    if (!read.error.empty()) {
      chosen.error = "\"" + selection.fromFile + "\" is no selection file: " + read.error;
      return chosen;
    }
    chosen.ids = std::move(read.ids);
    unknown = std::move(read.unknown);
    repeated = std::move(read.repeated);
  } else {
    std::set<std::string> seen;
    for (const std::string& key : selection.keys) {
      const std::optional<int32_t> id = IdOf(index, key);
      if (!seen.insert(key).second) {
        repeated.push_back(key);
      } else if (!id) {
        unknown.push_back(key);
      } else {
        chosen.ids.push_back(*id);
      }
    }
  }
  if (!unknown.empty()) {
    chosen.error = "no tweak has the key " + Listed(unknown);
  } else if (!repeated.empty()) {
    chosen.error = "named more than once: " + Listed(repeated);
  } else if (chosen.ids.empty()) {
    chosen.error = "the selection names no tweak";
  }
  return chosen;
}

// Hands the outbox's messages to `read` until `finished` holds; what was
// posted before it held is still read.
void ReadAnswers(const std::function<void(const std::string&)>& read, const std::function<bool()>& finished) {
  g_webView = [&read](const std::u16string& json) { read(Utf16ToUtf8(json)); };
  while (true) {
    const bool end = finished();
    DrainOutbox();
    if (end) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  PageSink old = std::move(g_webView);
  g_webView = nullptr;
}

// Sends a page command answered by one message of `type`; a warning instead
// (no thread could be started) is shown and answers nothing.
std::optional<JsonValue> Ask(const std::string& pageCommand, std::string_view type, const CliSystem& system,
                             std::string* text = nullptr) {
  std::optional<JsonValue> answer;
  bool warned = false;
  HandlePageMessageWith(pageCommand, system.actions);
  ReadAnswers(
      [&](const std::string& message) {
        std::optional<JsonValue> parsed = ParseJson(message);
        if (!parsed) return;
        const std::optional<std::string> kind = JsonStringMember(*parsed, "type");
        if (kind == type) {
          answer = std::move(parsed);
          if (text != nullptr) *text = message;
        } else if (kind == "log") {
          system.output.notice("quarnfeld: " + JsonStringMember(*parsed, "text").value_or(""));
          warned = true;
        }
      },
      [&] { return answer.has_value() || warned; });
  return answer;
}

// Sends the page's command and reads the run's messages until it ends.
int Run(const std::string& pageCommand, const CliSystem& system) {
  RunReport report;
  report.index = &UpdateTweakIndex(g_catalogue);
  HandlePageMessageWith(pageCommand, system.actions);
  ReadAnswers([&](const std::string& message) { ReportMessage(report, message, system.output); },
              [] { return !g_running; });
  return RunExitCode(report);
}

std::string IdList(const std::vector<int32_t>& ids) {
  std::string text = "[";
  for (size_t i = 0; i < ids.size(); ++i) {
    if (i > 0) text += ',';
    text += std::to_string(ids[i]);
  }
  return text + "]";
}

std::string Column(std::string text, size_t width) {
  if (text.size() < width) text.resize(width, ' ');
  return text + " ";
}

int List(const CliOutput& output) {
  for (const Category& category : g_catalogue) {
    for (const Tweak& tweak : category.tweaks) {
      if (output.json) {
        output.out("{\"type\":\"tweak\",\"key\":" + JsonQuote(tweak.key) + ",\"category\":" + JsonQuote(category.key) +
                   ",\"recommended\":" + (tweak.recommended ? "true" : "false") +
                   ",\"warn\":" + (tweak.warn ? "true" : "false") + ",\"name\":" + JsonQuote(tweak.name) + "}");
      } else {
        const std::string flags = std::string(tweak.recommended ? "R" : "-") + (tweak.warn ? "W" : "-");
        output.out(flags + " " + Column(category.key, 12) + Column(tweak.key, 60) + tweak.name);
      }
    }
  }
  return kExitOk;
}

std::string Number(const JsonValue* value) { return value == nullptr ? std::string("0") : value->text; }

void PrintState(const Tweak& tweak, const std::string& state, const std::string& done, const std::string& total,
                const CliOutput& output) {
  if (output.json) {
    output.out("{\"type\":\"state\",\"key\":" + JsonQuote(tweak.key) + ",\"name\":" + JsonQuote(tweak.name) +
               ",\"state\":" + JsonQuote(state) + ",\"done\":" + done + ",\"total\":" + total + "}");
  } else {
    output.out(Column(state, 12) + Column(done + "/" + total, 6) + tweak.key + "  " + tweak.name);
  }
}

// The whole catalogue in one check ("state"); named tweaks one "state" with
// an id each, answered with the reasons of their steps.
int State(const CliCommand& command, const std::vector<int32_t>& ids, const TweakIndex& index,
          const CliSystem& system) {
  const CliOutput& output = system.output;
  if (command.selection.keys.empty()) {
    const std::optional<JsonValue> answer = Ask("{\"cmd\":\"state\"}", "state", system);
    if (!answer) return kExitFailed;
    const JsonValue* tweaks = JsonMember(*answer, "tweaks");
    for (size_t i = 0; tweaks != nullptr && i < tweaks->items.size(); ++i) {
      const std::vector<JsonValue>& row = tweaks->items[i].items;
      const std::optional<int32_t> id = row.size() == 4 ? JsonInt32(row[0]) : std::nullopt;
      if (!id || *id < 0 || static_cast<size_t>(*id) >= index.size()) continue;
      PrintState(*index[static_cast<size_t>(*id)], row[1].text, row[2].text, row[3].text, output);
    }
    return kExitOk;
  }
  for (const int32_t id : ids) {
    const std::optional<JsonValue> answer =
        Ask("{\"cmd\":\"state\",\"id\":" + std::to_string(id) + "}", "stepstate", system);
    if (!answer) return kExitFailed;
    PrintState(*index[static_cast<size_t>(id)], JsonStringMember(*answer, "state").value_or("unknown"),
               Number(JsonMember(*answer, "done")), Number(JsonMember(*answer, "total")), output);
    const JsonValue* steps = JsonMember(*answer, "steps");
    for (size_t i = 0; !output.json && steps != nullptr && i < steps->items.size(); ++i) {
      output.out("             " + JsonStringMember(steps->items[i], "state").value_or("") + ": " +
                 JsonStringMember(steps->items[i], "reason").value_or(""));
    }
  }
  return kExitOk;
}

int History(const CliSystem& system) {
  std::string text;
  const std::optional<JsonValue> answer = Ask("{\"cmd\":\"history\"}", "history", system, &text);
  if (!answer) return kExitFailed;
  const CliOutput& output = system.output;
  if (output.json) {
    output.out(text);
    return kExitOk;
  }
  const JsonValue* perUser = JsonMember(*answer, "perUser");
  if (perUser != nullptr && perUser->boolean) {
    output.notice("Not elevated: this is your own journal; undo covers only what you could change.");
  }
  const JsonValue* runs = JsonMember(*answer, "runs");
  for (size_t i = 0; runs != nullptr && i < runs->items.size(); ++i) {
    const JsonValue& run = runs->items[i];
    const JsonValue* tweaks = JsonMember(run, "tweaks");
    int failed = 0;
    int undone = 0;
    const size_t count = tweaks == nullptr ? 0 : tweaks->items.size();
    for (size_t t = 0; t < count; ++t) {
      if (JsonStringMember(tweaks->items[t], "outcome") != "ok") ++failed;
      const JsonValue* isUndone = JsonMember(tweaks->items[t], "undone");
      if (isUndone != nullptr && isUndone->boolean) ++undone;
    }
    std::string line = Column(JsonStringMember(run, "id").value_or(""), 20) +
                       Column(JsonStringMember(run, "start").value_or(""), 21) +
                       Column(JsonStringMember(run, "kind").value_or(""), 5) + std::to_string(count) + " tweaks, " +
                       std::to_string(failed) + " not ok, " + std::to_string(undone) + " undone";
    if (const std::optional<std::string> undoes = JsonStringMember(run, "undoes")) line += "; undoes " + *undoes;
    output.out(line);
  }
  if (runs == nullptr || runs->items.empty()) output.notice("The journal holds no runs.");
  return kExitOk;
}

int Export(const CliCommand& command, const std::vector<int32_t>& ids, const TweakIndex& index,
           const CliSystem& system) {
  std::vector<const Tweak*> tweaks;
  size_t perUser = 0;
  for (const int32_t id : ids) {
    tweaks.push_back(index[static_cast<size_t>(id)]);
    if (TweakIsPerUser(*tweaks.back())) ++perUser;
  }
  if (!system.writeFile(command.scriptFile, WriteDeployScript(tweaks, QF_VERSION_TEXT))) {
    system.output.notice("quarnfeld: cannot write \"" + command.scriptFile + "\"");
    return kExitUsage;
  }
  system.output.out("Wrote " + std::to_string(tweaks.size()) + " tweaks to " + command.scriptFile + " (" +
                    std::to_string(perUser) + " per-user, passed by when it runs as SYSTEM).");
  return kExitOk;
}

}  // namespace

int RunCliCommand(const CliCommand& command, const CliSystem& given) {
  CliSystem system = given;
  system.output.json = command.json;
  const CliOutput& output = system.output;
  if (!command.error.empty()) {
    output.notice("quarnfeld: " + command.error + "\n\n" + kCliUsage);
    return kExitUsage;
  }
  if (command.verb == CliVerb::kHelp) {
    output.out(kCliUsage);
    return kExitOk;
  }
  if (command.verb == CliVerb::kVersion) {
    output.out(std::string("quarnfeld ") + QF_VERSION_TEXT);
    return kExitOk;
  }
  const TweakIndex& index = UpdateTweakIndex(g_catalogue);
  Chosen chosen;
  if (command.verb == CliVerb::kApply || command.verb == CliVerb::kExport ||
      (command.verb == CliVerb::kState && !command.selection.keys.empty())) {
    chosen = Choose(command.selection, index, system);
  } else if (command.verb == CliVerb::kUndo) {
    std::vector<std::string> unknown;
    for (const std::string& key : command.selection.keys) {
      if (!IdOf(index, key)) unknown.push_back(key);
    }
    if (!unknown.empty()) chosen.error = "no tweak has the key " + Listed(unknown);
  }
  if (!chosen.error.empty()) {
    output.notice("quarnfeld: " + chosen.error + "; nothing was run.");
    return kExitUsage;
  }
  const bool changes = command.verb == CliVerb::kApply || command.verb == CliVerb::kUndo;
  if (changes && !system.elevated()) {
    // Run unattended by management tools, it asks nobody: it says so and ends.
    output.notice("quarnfeld: \"" + std::string(command.verb == CliVerb::kApply ? "apply" : "undo") +
                  "\" changes the system and needs administrator rights; run it from an elevated prompt or as "
                  "SYSTEM. Nothing was changed.");
    return kExitNotElevated;
  }
  switch (command.verb) {
    case CliVerb::kList: return List(output);
    case CliVerb::kState: return State(command, chosen.ids, index, system);
    case CliVerb::kHistory: return History(system);
    case CliVerb::kExport: return Export(command, chosen.ids, index, system);
    case CliVerb::kApply:
      return Run("{\"cmd\":\"optimize\",\"ids\":" + IdList(chosen.ids) +
                     ",\"skipApplied\":" + (command.skipApplied ? "true" : "false") +
                     ",\"restorePoint\":" + (command.restorePoint ? "true" : "false") + "}",
                 system);
    case CliVerb::kUndo: {
      std::string keys;
      for (const std::string& key : command.selection.keys) {
        if (!keys.empty()) keys += ',';
        keys += JsonQuote(key);
      }
      return Run("{\"cmd\":\"undo\",\"run\":" + JsonQuote(command.run) + ",\"keys\":[" + keys +
                     "],\"force\":" + (command.force ? "true" : "false") + "}",
                 system);
    }
    default: return kExitOk;
  }
}
