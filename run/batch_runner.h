#pragma once
// Runs one tweak script as a batch file in a hidden cmd.exe and reports how it
// ended and what it printed.

#include <atomic>
#include <cstdint>

#include "run/batch_output.h"

// Written before every script: echo off, delayed expansion, LOG discards
// what scripts append to "%LOG%", UTF-8 console code page.
inline constexpr char kBatchHeader[] =
    "@echo off\r\nsetlocal EnableDelayedExpansion\r\nset \"LOG=NUL\"\r\nchcp 65001 >nul 2>&1\r\n";
// Ends the script's last line even without a final line end, then exit code 0.
inline constexpr char kBatchFooter[] = "\r\nexit /b 0\r\n";
static_assert(sizeof kBatchHeader - 1 == 81 && sizeof kBatchFooter - 1 == 13);

inline constexpr uint32_t kScriptTimeoutMs = 120000;

// Numbers the batch files of this process; the first file gets 1.
extern std::atomic<uint32_t> g_batchFileCounter;

// Writes header + script + footer to "quarnfeld_<pid>_<n>.bat" and runs it
// with the system's cmd.exe (by its full path, /D: no AutoRun commands), with
// the system folder as its current directory and an environment built from
// the machine's own folders (run/batch_environment.h), in a job object whose
// processes all end when the batch ends or runs out of time (kScriptTimeoutMs).
// Its output is read on a thread of its own while it runs.
//
// Elevated, the file lives in a folder of its own with a random name under
// the administrators-only data folder (platform/data_folder.h), and the path
// handed to cmd.exe holds no junction or symbolic link; unelevated it lives in
// the user's temporary folder. Either way it is created exclusively, then held
// open with read-only sharing and checked to be the same file with the same
// bytes until the batch and everything it started have ended; then it is
// deleted. A null or empty script is refused without touching anything.
BatchResult RunBatchScript(const char* script);
