#pragma once
// Batch lines with the lasting effect of a tweak's steps, for the families
// the journal's Wine tests use: what the row's own PowerShell steps do,
// written with reg.exe, echo and service_start.exe (beside the tests, in
// `tools`), which Wine runs as Windows does. Steps of other families add
// nothing.
#include <string>
#include <string_view>

#include <windows.h>

#include "catalogue/catalogue.h"
#include "platform/text.h"
#include "state/step_targets.h"

inline std::string StepLines(const Tweak& tweak, const std::string& tools) {
  std::string lines;
  for (const StepDef& step : tweak.steps) {
    const std::string_view family = step.family;
    const auto param = [&step](std::string_view name) { return std::string(ParamValue(step, name)); };
    if (family == "set-registry-value") {
      const std::string value = param("value") == "(default)" ? "/ve" : "/v \"" + param("value") + "\"";
      lines += "reg add \"" + param("key") + "\" " + value + " /t " + param("type") + " /d \"" + param("data") +
               "\" /f >nul\r\n";
    } else if (family == "delete-registry-value") {
      lines += "reg delete \"" + param("key") + "\" /v \"" + param("value") + "\" /f >nul 2>&1\r\n";
    } else if (family == "remove-registry-key") {
      lines += "reg delete \"" + param("key") + "\" /f >nul 2>&1\r\n";
    } else if (family == "create-registry-key") {
      lines += "reg add \"" + param("key") + "\" /f >nul\r\n";
    } else if (family == "disable-service") {
      lines += "\"" + tools + "\\service_start.exe\" \"" + param("service") + "\" 4\r\n";
    } else if (family == "add-hosts-entries") {
      const std::string comment = param("comment").empty() ? "." : param("comment");
      for (const char* address : {"0.0.0.0", "::1"}) {
        lines += ">>\"%SystemRoot%\\System32\\drivers\\etc\\hosts\" echo " + std::string(address) + "\t" +
                 param("domain") + " # " + comment + "\r\n";
      }
    }
  }
  return lines;
}

// Whether StepLines writes every lasting change of the tweak: all its steps
// are of those families, without a version guard or a condition on data.
inline bool CoveredByStepLines(const Tweak& tweak) {
  bool any = false;
  for (const StepDef& step : tweak.steps) {
    const std::string_view family = step.family;
    if (step.undo == StepUndo::kNoChange) continue;
    const bool covered = family == "set-registry-value" || family == "delete-registry-value" ||
                         family == "remove-registry-key" || family == "create-registry-key" ||
                         family == "disable-service" || family == "add-hosts-entries";
    if (!covered || !ParamValue(step, "min-version").empty() || !ParamValue(step, "max-version").empty() ||
        !ParamValue(step, "expected-data").empty() || ParamValue(step, "data").find('%') != std::string_view::npos) {
      return false;
    }
    any = true;
  }
  return any;
}

// The folder of this program, where service_start.exe is built.
inline std::string ToolFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::u16string folder(path, path + length);
  folder.resize(folder.rfind(u'\\'));
  return platform::Utf16ToUtf8(folder);
}
