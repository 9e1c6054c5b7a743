#pragma once
// Runs one tweak script as a temporary batch file in a hidden cmd.exe.

#include <atomic>
#include <cstdint>

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

// Writes header + script + footer to "quarnfeld_<pid>_<n>.bat" in the user's
// temporary folder, runs it hidden, waits up to kScriptTimeoutMs and deletes
// it. True exactly when the batch ended in time with exit code 0. A null or
// empty script is refused without touching anything.
bool RunBatchScript(const char* script);
