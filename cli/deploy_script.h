#pragma once
// The script "export --script" writes: one self-contained .cmd file that runs
// the chosen tweaks' bodies on a machine without the program, for the tools
// that already deploy scripts to many machines.

#include <string>
#include <vector>

#include "catalogue/catalogue.h"

// Whether a step changes the profile of the user it runs as: HKCU, a folder
// of the user's profile (%APPDATA%, %LOCALAPPDATA%, %USERPROFILE%, %TEMP%...),
// or a family that works for the current user only. As read from the step
// records; a row's own batch lines are not read.
bool StepIsPerUser(const StepDef& step);
bool TweakIsPerUser(const Tweak& tweak);

// The script for `tweaks`, in this order. ASCII with CR LF line ends: cmd.exe
// can miss a `call` target in a file of bare LF ends when the label straddles
// one of the 512-byte blocks it reads, and this file is a long one. It
// refuses to run without administrator rights (exit code 3), runs each
// tweak's body through a `call` of its own label, inside a `setlocal` with the
// runner's header (run/batch_runner.h), prints one result line per tweak and
// a summary, and exits 1 when any tweak failed. Run as SYSTEM, it passes by
// the per-user tweaks, saying which, since their changes would land in
// SYSTEM's own profile.
std::string WriteDeployScript(const std::vector<const Tweak*>& tweaks, const std::string& version);
