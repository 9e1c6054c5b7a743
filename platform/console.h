#pragma once
// The console of a command-line program: its arguments, whether standard
// error is a console (so that progress is shown only to a person), writing
// to it, and Ctrl+C.

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// True when standard error is a console (Windows) or a terminal (POSIX).
bool StandardErrorIsConsole();

// Writes `text` to standard error as it is; false when it is gone.
bool WriteStandardError(std::string_view text);

// Calls `interrupted` (on a thread of the system's choosing) for Ctrl+C,
// Ctrl+Break and closing the console. When it answers true the process goes
// on; false ends it as the system would. It must be quick and only raise
// flags.
bool OnConsoleInterrupt(bool (*interrupted)());

// The program's arguments after its own name, as UTF-8: on Windows read from
// the UTF-16 command line (argv holds them in the ANSI code page).
std::vector<std::string> CommandLineArguments(int argc, char** argv);

}  // namespace platform
