#pragma once
// The command line of quarnfeld.exe, read into a plain record. Reading never
// fails silently: anything it cannot take is an error that names it.

#include <string>
#include <vector>

enum class CliVerb { kHelp, kVersion, kList, kState, kApply, kHistory, kUndo, kExport };

// Where "apply" and "export" take their tweaks from.
struct CliSelection {
  std::vector<std::string> keys;
  bool recommended = false;
  std::string fromFile;  // a selection file
};

struct CliCommand {
  CliVerb verb = CliVerb::kHelp;
  bool json = false;
  CliSelection selection;  // apply, export; state and undo use only its keys
  bool skipApplied = true;
  bool restorePoint = true;
  bool force = false;      // undo: put back even what changed since the run
  std::string run;         // undo
  std::string scriptFile;  // export --script
  std::string error;       // bad usage; the command is not run
};

// `arguments` without the program's own name.
CliCommand ParseCommandLine(const std::vector<std::string>& arguments);

// The text of --help, with the exit codes.
extern const char kCliUsage[];
