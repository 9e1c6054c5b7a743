#pragma once
// Writing the PowerShell script of a step and the one batch line that carries
// it.

#include <string>
#include <string_view>

// A PowerShell single-quoted string: the value between single quotes, each
// single quote doubled. Nothing else is special inside it.
std::string PsQuote(std::string_view value);

// "$name = 'value'": how every step parameter enters its script.
std::string PsAssign(std::string_view variable, std::string_view value);

// Turns a template written one statement a line (indentation free) into one
// line: lines are trimmed and empty ones dropped; two lines are joined by a
// space when the first ends with "{", "(", ",", "|" or "#>" or the second
// starts with "}" or ")", and by "; " otherwise.
std::string JoinPowerShell(std::string_view text);

// Joins scripts, statements or template pieces with "; ", skipping empty ones.
std::string JoinStatements(std::initializer_list<std::string_view> pieces);

// The step line: kStepLinePrefix and the script in double quotes. Each double
// quote of the script is written "^"" (close the argument, an escaped quote,
// reopen) and each percent sign is doubled, so cmd hands the script to
// PowerShell unchanged and expands no variable in it: environment variables in
// parameters are expanded by the step itself at run time, where a user name
// holding a quote or an exclamation mark cannot break the script.
std::string EncodeStepLine(std::string_view script);
