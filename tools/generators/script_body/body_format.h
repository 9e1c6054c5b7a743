#pragma once
// The fixed pieces of a tweak script body, shared by the generator that
// writes bodies and the linter that checks them.
//
// A body runs between the batch runner's header (echo off, delayed expansion
// on, LOG=NUL, code page 65001) and its footer ("exit /b 0"). A body made of
// templated steps keeps its result honest by itself: it clears QF_FAILED
// before its first step, each step line is followed by the failure record,
// and its last command leaves the batch with exit code 1 when any step
// failed, so the footer's 0 is reached only when every step succeeded or had
// nothing to do.

#include <string>
#include <string_view>

// PowerShell runs elevated: -NoProfile keeps every profile script out,
// -NonInteractive makes a prompt fail the step instead of waiting for an
// answer that never comes from a hidden window.
inline constexpr std::string_view kStepLinePrefix =
    "PowerShell -NoProfile -NonInteractive -ExecutionPolicy Unrestricted -Command ";
// The first statement of every step script. Windows PowerShell builds its
// module path at start-up from the environment and the user's own settings
// (HKCU\Environment, the Documents folder) and loads the first module on it
// that offers a command the script names; the step narrows the path to the
// modules that ship with Windows before it names any command.
inline constexpr std::string_view kModulePathReset = "$env:PSModulePath = \"$PSHOME\\Modules\"";
inline constexpr std::string_view kFailureReset = "set \"QF_FAILED=\"";
inline constexpr std::string_view kFailureRecord = "if errorlevel 1 set \"QF_FAILED=1\"";
inline constexpr std::string_view kFailureExit = "if defined QF_FAILED exit /b 1";

// cmd reads no longer batch line.
inline constexpr size_t kMaxLineLength = 8191;

// Width of the dashes of a separator and of a title banner.
inline constexpr size_t kBannerWidth = 58;

// ":: " and 58 dashes.
std::string SeparatorLine();
// ":: " and the title centred in dashes to 58 characters, the odd dash to the
// right; a title of 58 characters or more stands alone.
std::string BannerLine(std::string_view title);
// ":: " + text.
std::string CommentLine(std::string_view text);
