#include "cli/arguments.h"

#include <string_view>

const char kCliUsage[] =
    "Usage: quarnfeld COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  list                       every tweak's key, category, flags and name\n"
    "  state [KEY...]             whether each tweak (or the named ones) is applied here\n"
    "  apply KEY...               apply the named tweaks\n"
    "  apply --recommended        apply the recommended set\n"
    "  apply --from FILE.json     apply the tweaks of a selection file\n"
    "      --no-skip-applied      run tweaks that are already applied, too\n"
    "      --no-restore-point     do not create a system restore point first\n"
    "  history                    the runs recorded in the journal\n"
    "  undo RUN [KEY...]          put back what a run (or the named tweaks of it) changed\n"
    "      --force                put back even what changed since the run\n"
    "  export --script FILE.cmd KEY... | --recommended | --from FILE.json\n"
    "                             write a self-contained script that applies the tweaks\n"
    "  --help, --version\n"
    "\n"
    "Options:\n"
    "  --json                     one JSON object per line, for scripts\n"
    "\n"
    "Exit codes: 0 all succeeded or were skipped, 1 some tweak failed, 2 bad usage or\n"
    "input (nothing ran), 3 not running as administrator when the command needs it\n"
    "(apply and undo; it never asks for the rights itself).\n";

namespace {

bool IsOption(std::string_view argument) { return argument.starts_with("--"); }

}  // namespace

CliCommand ParseCommandLine(const std::vector<std::string>& arguments) {
  CliCommand command;
  const auto fail = [&command](std::string message) {
    command.error = std::move(message);
    return command;
  };
  if (arguments.empty()) return fail("no command given");
  struct VerbName {
    std::string_view name;
    CliVerb verb;
  };
  static constexpr VerbName kVerbs[] = {
      {"--help", CliVerb::kHelp},       {"-h", CliVerb::kHelp},         {"help", CliVerb::kHelp},
      {"--version", CliVerb::kVersion}, {"list", CliVerb::kList},       {"state", CliVerb::kState},
      {"apply", CliVerb::kApply},       {"history", CliVerb::kHistory}, {"undo", CliVerb::kUndo},
      {"export", CliVerb::kExport},
  };
  bool known = false;
  for (const VerbName& verb : kVerbs) {
    if (arguments[0] == verb.name) {
      command.verb = verb.verb;
      known = true;
    }
  }
  if (!known) return fail("unknown command \"" + arguments[0] + "\"");
  const CliVerb verb = command.verb;
  const bool selects = verb == CliVerb::kApply || verb == CliVerb::kExport;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool hasValue = i + 1 < arguments.size() && !IsOption(arguments[i + 1]);
    if (verb == CliVerb::kHelp || verb == CliVerb::kVersion) return fail("\"" + arguments[0] + "\" takes no arguments");
    if (argument == "--json" && verb != CliVerb::kExport) {
      command.json = true;
    } else if (argument == "--recommended" && selects) {
      command.selection.recommended = true;
    } else if (argument == "--from" && selects) {
      if (!hasValue) return fail("--from needs a file name");
      command.selection.fromFile = arguments[++i];
    } else if (argument == "--script" && verb == CliVerb::kExport) {
      if (!hasValue) return fail("--script needs a file name");
      command.scriptFile = arguments[++i];
    } else if (argument == "--no-skip-applied" && verb == CliVerb::kApply) {
      command.skipApplied = false;
    } else if (argument == "--no-restore-point" && verb == CliVerb::kApply) {
      command.restorePoint = false;
    } else if (argument == "--force" && verb == CliVerb::kUndo) {
      command.force = true;
    } else if (IsOption(argument) || argument.starts_with("-")) {
      return fail("unknown option \"" + argument + "\" for \"" + arguments[0] + "\"");
    } else if (verb == CliVerb::kUndo && command.run.empty()) {
      command.run = argument;
    } else if (selects || verb == CliVerb::kState || verb == CliVerb::kUndo) {
      command.selection.keys.push_back(argument);
    } else {
      return fail("\"" + arguments[0] + "\" takes no key \"" + argument + "\"");
    }
  }
  if (selects) {
    const int sources = (command.selection.keys.empty() ? 0 : 1) + (command.selection.recommended ? 1 : 0) +
                        (command.selection.fromFile.empty() ? 0 : 1);
    if (sources != 1) return fail("name the tweaks one way: KEY..., --recommended or --from FILE.json");
  }
  if (verb == CliVerb::kExport && command.scriptFile.empty()) return fail("export needs --script FILE.cmd");
  if (verb == CliVerb::kUndo && command.run.empty()) return fail("undo needs the run to undo");
  return command;
}
