// Every tweak body of the catalogue against the body rules, and the catalogue's
// own conventions for registry steps.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

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

struct RowSource {
  std::string path;
  std::string text;
  std::vector<SourceBlock> blocks;
};

// Every row's script source, parsed, in table order.
const std::vector<RowSource>& RowSources() {
  static const std::vector<RowSource> sources = [] {
    std::vector<RowSource> all;
    std::istringstream rows(ReadFile(QF_CATALOGUE_DIR "/tweaks.txt"));
    std::string line;
    while (std::getline(rows, line)) {
      if (line.empty() || line[0] == '#') continue;
      std::istringstream fields(line);
      std::string key, flag, path;
      fields >> key >> flag >> path;
      RowSource row{path, ReadFile(std::filesystem::path(QF_CATALOGUE_DIR "/scripts") / path), {}};
      std::string error;
      row.blocks = ParseScriptSource(row.text, &error);
      all.push_back(std::move(row));
    }
    return all;
  }();
  return sources;
}

std::string Param(const SourceBlock& block, const std::string& name) {
  for (const SourceParam& param : block.params) {
    if (param.name == name) return param.value;
  }
  return {};
}

TEST(CatalogueBodies, EveryRowHasABody) {
  ASSERT_EQ(RowSources().size(), kTweakDefs.size());
  for (const TweakDef& row : kTweakDefs) EXPECT_TRUE(row.script && row.script[0] != '\0') << row.name;
}

// Registry values are set under HKLM or HKCU, as REG_DWORD or REG_SZ; another
// type needs a reason in the source's notes, naming the type.
TEST(CatalogueBodies, SetRegistryValueStepsUseTheUsualHivesAndTypes) {
  for (const RowSource& row : RowSources()) {
    for (const SourceBlock& block : row.blocks) {
      if (block.kind != "set-registry-value") continue;
      const std::string key = Param(block, "key");
      const std::string type = Param(block, "type");
      EXPECT_TRUE(key.rfind("HKLM\\", 0) == 0 || key.rfind("HKCU\\", 0) == 0) << row.path << ":" << block.line;
      if (type != "REG_DWORD" && type != "REG_SZ") {
        EXPECT_NE(row.text.find("# " + type), std::string::npos)
            << row.path << ":" << block.line << ": " << type << " without a reason in a '# " << type << " ...' note";
      }
    }
  }
}

// A Store app that is uninstalled is also marked deprovisioned, so that a
// feature update does not bring it back.
TEST(CatalogueBodies, EveryStoreAppUninstallIsFollowedByItsDeprovisionedKey) {
  int uninstalls = 0;
  for (const RowSource& row : RowSources()) {
    for (size_t i = 0; i < row.blocks.size(); ++i) {
      if (row.blocks[i].kind != "uninstall-store-app") continue;
      ++uninstalls;
      const std::string package = Param(row.blocks[i], "package");
      ASSERT_LT(i + 1, row.blocks.size()) << row.path;
      EXPECT_EQ(row.blocks[i + 1].kind, "deprovision-store-app") << row.path;
      EXPECT_EQ(Param(row.blocks[i + 1], "package-family").rfind(package + "_", 0), 0u) << row.path;
    }
  }
  EXPECT_EQ(uninstalls, 39);
}

TEST(CatalogueBodies, HostsEntriesBlock26DistinctHosts) {
  std::set<std::string> hosts;
  size_t steps = 0;
  for (const RowSource& row : RowSources()) {
    for (const SourceBlock& block : row.blocks) {
      if (block.kind != "add-hosts-entries") continue;
      ++steps;
      hosts.insert(Param(block, "domain"));
    }
  }
  EXPECT_EQ(steps, 26u);
  EXPECT_EQ(hosts.size(), 26u);
}

}  // namespace
