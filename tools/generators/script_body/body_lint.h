#pragma once
// The body linter: checks a script body, however it was made, against the
// rules that keep it working inside the batch wrapper. It knows the body
// format, not the families' templates, so it can be run over every body of
// the catalogue.

#include <string>
#include <string_view>
#include <vector>

struct LintProblem {
  int line = 0;  // 1-based; 0 for the body as a whole
  std::string message;
};

// Every problem of the body:
// - bytes: ASCII only, no NUL or other control byte but tab, LF line ends (no
//   CR), a final LF, no "!" (the wrapper's delayed expansion would eat it),
//   no "%~" (a fatal batch syntax error);
// - comments: separators of 58 dashes, title banners centred between two
//   separators, version notes only after a step header;
// - steps: every step header followed by its version notes and its one step
//   line; every PowerShell step line decodes (DecodeStepLine) and is followed
//   by the failure record; a version note and the guard in its step agree and
//   the guard carries the whole table of its kind;
// - result: a body that records failures clears QF_FAILED before its first
//   step and ends with the failure exit;
// - elevation: every PowerShell call, in a step line or a plain line, carries
//   -NoProfile and -NonInteractive before its command, and every step script
//   begins with kModulePathReset.
std::vector<LintProblem> LintBody(std::string_view body);

// The PowerShell script that a step line hands over, decoded as cmd reads a
// batch line (doubled percent signs, quote state, carets outside quotes) and
// as PowerShell's command line parser then splits it ("^"" becomes one double
// quote). False, with *problem set, when the line does not reach PowerShell as
// one intact script: a percent sign that cmd would expand or drop, a cmd
// operator outside quotes, an unbalanced quote, a backslash that would escape
// a quote, or a quote in any other form than "^"".
bool DecodeStepLine(std::string_view line, std::string* script, std::string* problem);

struct StepScript {
  int line = 0;
  std::string script;
};

// The decoded script of every PowerShell step line of a body that decodes.
std::vector<StepScript> StepScripts(std::string_view body);

// "line N: message" (or the message alone for line 0), one a line.
std::string FormatProblems(const std::vector<LintProblem>& problems);
