#pragma once
// The step families: for each, its name in a row source, its parameters and
// the function that turns one source block into the steps of the body.

#include "tools/generators/script_body/script_source.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

// One step of a body, before the version guard and the batch encoding.
struct Step {
  std::vector<std::string> comments;  // comment texts written before the header
  std::string header;                 // the step header text; empty for a family without one
  std::string script;                 // the PowerShell script, one line
  std::string batch;                  // or: the step's one batch line (no PowerShell)
};

struct FamilyDef {
  std::string_view name;
  std::vector<std::string_view> required;
  std::vector<std::string_view> optional;
  // Appends the block's steps; on an invalid parameter sets *error (naming the
  // line) and returns false.
  bool (*expand)(const SourceBlock& block, std::vector<Step>* steps, std::string* error);
};

std::span<const FamilyDef> RegistryFamilies();
std::span<const FamilyDef> FileFamilies();
std::span<const FamilyDef> ServiceFamilies();
std::span<const FamilyDef> SystemFamilies();

// The value of a parameter; empty when the block does not give it.
std::string_view Param(const SourceBlock& block, std::string_view name);
// A yes/no parameter (checked to be one of the two before expansion); false
// when absent.
bool Flag(const SourceBlock& block, std::string_view name);
// Sets *error to "line N: " (the parameter's line, else the block's) and the
// message; returns false so that expanders can `return Fail(...)`.
bool Fail(const SourceBlock& block, std::string_view name, std::string_view message, std::string* error);

// A registry key written with its hive as "HKLM\..." or "HKCU\..." (and, when
// other_hives, also HKCR, HKU or HKCC), with no trailing backslash. Sets
// *error otherwise.
bool CheckRegistryKey(const SourceBlock& block, std::string_view name, bool other_hives, std::string* error);

// The Set registry value step for parameters already checked.
Step SetRegistryValueStep(std::string_view key, std::string_view value, std::string_view type, std::string_view data);

// The text with the first occurrence of marker replaced.
std::string Splice(std::string text, std::string_view marker, std::string_view replacement);

// Runs the statements inside try/catch: an error that nothing else handles
// (a failed call, a method called on nothing) writes "Unexpected error: ..."
// and ends the step with exit code 1, instead of letting the script go on
// after a failed statement and end with 0.
std::string CatchUnexpected(std::string_view statements);

// Statements that enable the privileges SeBackupPrivilege,
// SeRestorePrivilege and SeTakeOwnershipPrivilege in the step's PowerShell
// process (an administrator holds them, disabled), so that it may take
// ownership of, restore the owner of, list and delete keys and files that it
// has no rights on.
std::string_view EnablePrivilegesScript();

// The statement that compiles C# (one type definition, written without '!'
// and without single quotes) into the step's PowerShell process, with the
// compiler's temporary files in the system's temporary folder.
std::string AddTypeScript(std::string_view csharp);

// What a file step does with [QfFileTree]: delete (Remove), delete empty
// folders (Prune and Remove) or rename.
enum class FileTreeUse { kRemove, kPrune, kRename };

// The statements that define [QfFileTree] (tools/generators/script_body/
// file_tree.cpp): OpenFolder(path, [ref]why) opens a folder from its drive's
// root one component at a time, refusing a component that is a link or not a
// folder; List(folder) gives its entries (Name, Attributes);
// Remove(folder, name, shown, contents) deletes an entry as itself, after
// its contents when contents is set; Prune(folder, shown) deletes the empty
// folders below, keeping files and links, and says whether the folder is
// left empty; Rename(folder, name, newName);
// Close(handle). Every object is opened relative to its folder's handle and
// as itself, so nothing is reached through a junction or a symbolic link.
// Remove counts into Deleted and Failed and writes what it deleted, and a
// warning for what it could not delete, to the step's output.
// Privileged: the step also enables SeBackupPrivilege, SeRestorePrivilege and
// SeTakeOwnershipPrivilege, and opens every object for backup, so that file
// access rules stop neither listing, deleting nor renaming.
std::string FileTreeScript(FileTreeUse use, bool privileged);
