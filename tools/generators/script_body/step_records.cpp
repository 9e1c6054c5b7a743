#include "tools/generators/script_body/step_records.h"

#include <array>

#include "tools/generators/script_body/families.h"

namespace {

using Summary = std::string (*)(const SourceBlock& block);

struct FamilyRecord {
  std::string_view family;
  StepUndo undo;
  Summary summary;
};

std::string P(const SourceBlock& block, std::string_view name) { return std::string(Param(block, name)); }

std::string Quoted(const SourceBlock& block, std::string_view name) {
  std::string text = "\"";
  text.append(Param(block, name)).push_back('"');
  return text;
}

const std::array<FamilyRecord, 31> kFamilyRecords = {{
    {"set-registry-value", StepUndo::kExact,
     [](const SourceBlock& b) {
       return "Set " + P(b, "key") + " value " + Quoted(b, "value") + " to " + P(b, "data") + " (" + P(b, "type") + ")";
     }},
    {"delete-registry-value", StepUndo::kExact,
     [](const SourceBlock& b) {
       std::string text = "Delete " + P(b, "key") + " value " + Quoted(b, "value");
       if (!Param(b, "expected-data").empty()) text += " when it holds " + Quoted(b, "expected-data");
       return text;
     }},
    {"remove-registry-key", StepUndo::kExact,
     [](const SourceBlock& b) { return "Remove the key " + P(b, "key") + " with its subkeys"; }},
    {"create-registry-key", StepUndo::kExact, [](const SourceBlock& b) { return "Create the key " + P(b, "key"); }},
    {"deprovision-store-app", StepUndo::kExact,
     [](const SourceBlock& b) {
       return "Mark the app family " + P(b, "package-family") +
              " as deprovisioned, so Windows does not install it again";
     }},
    {"clear-registry-values", StepUndo::kNone,
     [](const SourceBlock& b) {
       return "Delete every value of " + P(b, "key") + (Flag(b, "recursive") ? " and of its subkeys" : "");
     }},
    {"clear-directory-contents", StepUndo::kNone,
     [](const SourceBlock& b) { return "Delete everything inside " + P(b, "directory") + " (the folder stays)"; }},
    {"delete-files", StepUndo::kNone,
     [](const SourceBlock& b) { return "Delete the files matching " + P(b, "pattern"); }},
    {"delete-directory", StepUndo::kNone,
     [](const SourceBlock& b) {
       return "Delete the folder " + P(b, "directory") + " and its empty subfolders (files are kept)";
     }},
    {"soft-delete", StepUndo::kNone,
     [](const SourceBlock& b) {
       return "Rename the files matching " + P(b, "pattern") + " to NAME.OLD" +
              (Flag(b, "recursive") ? ", in subfolders too" : "");
     }},
    {"disable-service", StepUndo::kExact,
     [](const SourceBlock& b) { return "Stop the service " + P(b, "service") + " and set it to Disabled"; }},
    {"disable-per-user-service", StepUndo::kExact,
     [](const SourceBlock& b) {
       return "Set the per-user service " + P(b, "service") + " and its instances " + P(b, "service") +
              "_* to Disabled";
     }},
    {"stop-service", StepUndo::kNoChange,
     [](const SourceBlock& b) { return "Stop the service " + P(b, "service") + " while the tweak works"; }},
    {"start-service", StepUndo::kNoChange,
     [](const SourceBlock& b) { return "Start the service " + P(b, "service") + " again if the tweak stopped it"; }},
    {"disable-scheduled-task", StepUndo::kExact,
     [](const SourceBlock& b) { return "Disable the scheduled task " + P(b, "folder") + P(b, "task"); }},
    {"uninstall-store-app", StepUndo::kNone,
     [](const SourceBlock& b) { return "Uninstall the app " + P(b, "package") + " for the current user"; }},
    {"remove-windows-capability", StepUndo::kNone,
     [](const SourceBlock& b) { return "Remove the Windows capability " + P(b, "capability"); }},
    {"disable-optional-feature", StepUndo::kNone,
     [](const SourceBlock& b) { return "Turn off the optional Windows feature " + P(b, "feature"); }},
    {"add-hosts-entries", StepUndo::kExact,
     [](const SourceBlock& b) { return "Block " + P(b, "domain") + " in the hosts file (0.0.0.0 and ::1)"; }},
    {"terminate-process", StepUndo::kNoChange,
     [](const SourceBlock& b) { return "End the running process " + P(b, "executable"); }},
    {"terminate-on-startup", StepUndo::kExact,
     [](const SourceBlock& b) { return "End " + P(b, "executable") + " whenever it starts"; }},
    {"block-executable", StepUndo::kExact,
     [](const SourceBlock& b) { return "Block " + P(b, "executable") + " from being started by File Explorer"; }},
    {"activate-disallow-run", StepUndo::kExact,
     [](const SourceBlock&) { return std::string("Turn on File Explorer's list of programs not allowed to run"); }},
    {"editor-setting", StepUndo::kExact,
     [](const SourceBlock& b) {
       return "Set \"" + P(b, "key") + "\" to " + P(b, "value") + " in Visual Studio Code's user settings";
     }},
    {"restart-note", StepUndo::kNoChange,
     [](const SourceBlock& b) {
       const std::string what = P(b, "restart");
       if (what == "computer") return std::string("Restart the computer for the change to take effect");
       if (what == "explorer") return std::string("Restart File Explorer for the change to take effect");
       if (what == "edge") return std::string("Restart Microsoft Edge for the change to take effect");
       return std::string("Restart Google Chrome for the change to take effect");
     }},
    {"empty-recycle-bin", StepUndo::kNone,
     [](const SourceBlock&) { return std::string("Empty the Recycle Bin of every drive"); }},
    {"disable-netbios", StepUndo::kExact,
     [](const SourceBlock&) { return std::string("Turn off NetBIOS over TCP/IP on every network interface"); }},
    {"create-placeholder-file", StepUndo::kNone,
     [](const SourceBlock& b) { return "Create an empty file " + P(b, "path") + " unless one is there"; }},
    {"run-edge-uninstaller", StepUndo::kNone,
     [](const SourceBlock&) { return std::string("Run the uninstaller of Microsoft Edge"); }},
    {"remove-shortcuts", StepUndo::kNone,
     [](const SourceBlock& b) {
       return "Remove the shortcut " + P(b, "name") + ".lnk from start menus, the task bar and desktops";
     }},
    {"remove-onedrive-navigation-entry", StepUndo::kExact,
     [](const SourceBlock&) { return std::string("Remove the OneDrive entry from File Explorer's navigation pane"); }},
}};

const FamilyRecord* FindRecord(std::string_view family) {
  for (const FamilyRecord& record : kFamilyRecords) {
    if (record.family == family) return &record;
  }
  return nullptr;
}

// " (Windows10-1607 and later)", " (up to Windows10-22H2)", both, or nothing.
std::string GuardSuffix(const SourceBlock& block) {
  const std::string_view min = Param(block, "min-version");
  const std::string_view max = Param(block, "max-version");
  if (!min.empty() && !max.empty()) return " (" + std::string(min) + " to " + std::string(max) + ")";
  if (!min.empty()) return " (" + std::string(min) + " and later)";
  if (!max.empty()) return " (up to " + std::string(max) + ")";
  return {};
}

// The leading '#' lines without their "# ", joined by spaces; an empty '#'
// line starts a new paragraph.
std::string Description(std::string_view source) {
  std::string text;
  bool paragraph = false;
  while (!source.empty() && source.front() == '#') {
    const size_t end = source.find('\n');
    std::string_view line = source.substr(1, end == std::string_view::npos ? std::string_view::npos : end - 1);
    source = end == std::string_view::npos ? std::string_view{} : source.substr(end + 1);
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
    if (line.empty()) {
      paragraph = !text.empty();
      continue;
    }
    if (!text.empty()) text += paragraph ? "\n\n" : " ";
    paragraph = false;
    text += line;
  }
  return text;
}

}  // namespace

bool FamilyUndo(std::string_view family, StepUndo* undo) {
  if (family == "plain") {
    *undo = StepUndo::kNone;
    return true;
  }
  const FamilyRecord* record = FindRecord(family);
  if (record == nullptr) return false;
  *undo = record->undo;
  return true;
}

RowRecord DescribeRow(std::string_view source) {
  RowRecord row;
  row.description = Description(source);
  std::string error;
  for (const SourceBlock& block : ParseScriptSource(source, &error)) {
    if (block.kind == "docs") {
      row.docs.push_back(block.text);
    } else if (block.kind == "cost") {
      row.cost = block.text;
    } else if (block.kind == "cost-ru") {
      row.costText = block.text;
    } else if (block.kind == "plain") {
      // The commands are the row's own: the program cannot tell what they
      // change, so they are never undone.
      row.steps.push_back({"plain", block.text.empty() ? "Run batch commands" : block.text, StepUndo::kNone, {}});
    } else if (const FamilyRecord* record = FindRecord(block.kind)) {
      row.steps.push_back({block.kind, record->summary(block) + GuardSuffix(block), record->undo, block.params});
    }
  }
  return row;
}
