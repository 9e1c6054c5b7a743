// Every tweak body of the catalogue against the body rules, and the catalogue's
// own conventions for registry steps.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

#include "catalogue/catalogue.h"
#include "tools/generators/script_body/body_lint.h"
#include "tools/generators/script_body/script_source.h"

namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(CatalogueBodies, EveryBodyPassesTheLinter) {
  for (const TweakDef& row : kTweakDefs) {
    if (row.script == nullptr || row.script[0] == '\0') continue;
    const auto problems = LintBody(row.script);
    EXPECT_TRUE(problems.empty()) << row.name << "\n" << FormatProblems(problems);
  }
}

TEST(CatalogueBodies, NoTwoRowsShareABody) {
  std::map<std::string, std::string> owner;
  for (const TweakDef& row : kTweakDefs) {
    if (row.script == nullptr || row.script[0] == '\0') continue;
    const auto [it, fresh] = owner.emplace(row.script, row.name);
    EXPECT_TRUE(fresh) << "\"" << row.name << "\" has the body of \"" << it->second << "\"";
  }
}

// Registry values are set under HKLM or HKCU, as REG_DWORD or REG_SZ; another
// type needs a reason in the source's notes, naming the type.
TEST(CatalogueBodies, SetRegistryValueStepsUseTheUsualHivesAndTypes) {
  std::istringstream rows(ReadFile(QF_CATALOGUE_DIR "/tweaks.txt"));
  std::string line;
  int sources = 0;
  while (std::getline(rows, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string key, flag, path;
    fields >> key >> flag >> path;
    const std::string source = ReadFile(std::filesystem::path(QF_CATALOGUE_DIR "/scripts") / path);
    ++sources;
    std::string error;
    const auto blocks = ParseScriptSource(source, &error);
    for (const SourceBlock& block : blocks) {
      if (block.kind != "set-registry-value") continue;
      for (const SourceParam& param : block.params) {
        if (param.name == "key") {
          EXPECT_TRUE(param.value.rfind("HKLM\\", 0) == 0 || param.value.rfind("HKCU\\", 0) == 0)
              << path << ":" << param.line << ": " << param.value;
        }
        if (param.name == "type" && param.value != "REG_DWORD" && param.value != "REG_SZ") {
          EXPECT_NE(source.find("# " + param.value), std::string::npos)
              << path << ":" << param.line << ": " << param.value << " without a reason in a '# " << param.value
              << " ...' note";
        }
      }
    }
  }
  EXPECT_EQ(sources, static_cast<int>(kTweakDefs.size()));
}

}  // namespace
