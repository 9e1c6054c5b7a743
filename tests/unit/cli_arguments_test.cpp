// The command line of quarnfeld.exe: every command, and the usages it refuses.
#include "cli/arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;

TEST(ParseCommandLine, ReadsEveryCommand) {
  struct Case {
    Args args;
    CliVerb verb;
    bool json;
    Args keys;
    bool recommended;
    std::string from;
    bool skip;
    bool restore;
    std::string run;
    std::string script;
  };
  const Case cases[] = {
      {{"--help"}, CliVerb::kHelp, false, {}, false, "", true, true, "", ""},
      {{"--version"}, CliVerb::kVersion, false, {}, false, "", true, true, "", ""},
      {{"list", "--json"}, CliVerb::kList, true, {}, false, "", true, true, "", ""},
      {{"state", "a/b", "c/d"}, CliVerb::kState, false, {"a/b", "c/d"}, false, "", true, true, "", ""},
      {{"apply", "a/b", "--json", "c/d"}, CliVerb::kApply, true, {"a/b", "c/d"}, false, "", true, true, "", ""},
      {{"apply", "--recommended", "--no-skip-applied", "--no-restore-point"},
       CliVerb::kApply,
       false,
       {},
       true,
       "",
       false,
       false,
       "",
       ""},
      {{"apply", "--from", "sel.json"}, CliVerb::kApply, false, {}, false, "sel.json", true, true, "", ""},
      {{"history", "--json"}, CliVerb::kHistory, true, {}, false, "", true, true, "", ""},
      {{"undo", "20261208-1", "a/b"}, CliVerb::kUndo, false, {"a/b"}, false, "", true, true, "20261208-1", ""},
      {{"export", "--script", "out.cmd", "--recommended"},
       CliVerb::kExport,
       false,
       {},
       true,
       "",
       true,
       true,
       "",
       "out.cmd"},
      {{"export", "a/b", "--script", "out.cmd"},
       CliVerb::kExport,
       false,
       {"a/b"},
       false,
       "",
       true,
       true,
       "",
       "out.cmd"},
  };
  for (const Case& c : cases) {
    const CliCommand command = ParseCommandLine(c.args);
    const std::string shown = c.args[0];
    EXPECT_EQ(command.error, "") << shown;
    EXPECT_EQ(command.verb, c.verb) << shown;
    EXPECT_EQ(command.json, c.json) << shown;
    EXPECT_EQ(command.selection.keys, c.keys) << shown;
    EXPECT_EQ(command.selection.recommended, c.recommended) << shown;
    EXPECT_EQ(command.selection.fromFile, c.from) << shown;
    EXPECT_EQ(command.skipApplied, c.skip) << shown;
    EXPECT_EQ(command.restorePoint, c.restore) << shown;
    EXPECT_EQ(command.run, c.run) << shown;
    EXPECT_EQ(command.scriptFile, c.script) << shown;
    EXPECT_FALSE(command.force) << shown;
  }
  const CliCommand forced = ParseCommandLine({"undo", "--force", "20261208-1"});
  EXPECT_EQ(forced.error, "");
  EXPECT_TRUE(forced.force);
  EXPECT_EQ(forced.run, "20261208-1");
}

TEST(ParseCommandLine, NamesWhatItCannotTake) {
  const std::pair<Args, std::string> cases[] = {
      {{}, "no command given"},
      {{"apply-all"}, "unknown command \"apply-all\""},
      {{"--version", "x"}, "\"--version\" takes no arguments"},
      {{"list", "a/b"}, "\"list\" takes no key \"a/b\""},
      {{"list", "--recommended"}, "unknown option \"--recommended\" for \"list\""},
      {{"state", "--no-skip-applied"}, "unknown option \"--no-skip-applied\" for \"state\""},
      {{"apply"}, "name the tweaks one way: KEY..., --recommended or --from FILE.json"},
      {{"apply", "a/b", "--recommended"}, "name the tweaks one way: KEY..., --recommended or --from FILE.json"},
      {{"apply", "--from"}, "--from needs a file name"},
      {{"apply", "--from", "--json"}, "--from needs a file name"},
      {{"apply", "-x", "a/b"}, "unknown option \"-x\" for \"apply\""},
      {{"export", "a/b"}, "export needs --script FILE.cmd"},
      {{"export", "--script", "o.cmd", "a/b", "--json"}, "unknown option \"--json\" for \"export\""},
      {{"undo"}, "undo needs the run to undo"},
      {{"apply", "a/b", "--force"}, "unknown option \"--force\" for \"apply\""},
  };
  for (const auto& [args, error] : cases) EXPECT_EQ(ParseCommandLine(args).error, error) << error;
}

}  // namespace
