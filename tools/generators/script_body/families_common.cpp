#include "tools/generators/script_body/families.h"

#include "tools/generators/script_body/powershell_text.h"

std::string_view Param(const SourceBlock& block, std::string_view name) {
  for (const SourceParam& param : block.params) {
    if (param.name == name) return param.value;
  }
  return {};
}

bool Flag(const SourceBlock& block, std::string_view name) { return Param(block, name) == "yes"; }

bool Fail(const SourceBlock& block, std::string_view name, std::string_view message, std::string* error) {
  int line = block.line;
  for (const SourceParam& param : block.params) {
    if (param.name == name) line = param.line;
  }
  *error = LineError(line, message);
  return false;
}

bool CheckRegistryKey(const SourceBlock& block, std::string_view name, bool other_hives, std::string* error) {
  std::string_view key = Param(block, name);
  std::string_view hive = key.substr(0, key.find('\\'));
  bool known = hive == "HKLM" || hive == "HKCU";
  if (other_hives) known = known || hive == "HKCR" || hive == "HKU" || hive == "HKCC";
  if (!known) {
    return Fail(block, name,
                other_hives ? "a registry key begins with HKLM\\, HKCU\\, HKCR\\, HKU\\ or HKCC\\"
                            : "a registry key of this family begins with HKLM\\ or HKCU\\",
                error);
  }
  if (key.size() <= hive.size() + 1 || key.back() == '\\' || key.find("\\\\") != std::string_view::npos) {
    return Fail(block, name, "a registry key names a key below its hive, without an empty or trailing segment", error);
  }
  if (key.find('"') != std::string_view::npos) {
    return Fail(block, name, "a registry key cannot hold a double quote", error);
  }
  return true;
}

std::string Splice(std::string text, std::string_view marker, std::string_view replacement) {
  size_t at = text.find(marker);
  return at == std::string::npos ? text : text.replace(at, marker.size(), replacement);
}

std::string CatchUnexpected(std::string_view statements) {
  return "try { " + std::string(statements) +
         " } catch { Write-Error \"Unexpected error: $($_.Exception.Message)\"; exit 1 }";
}
