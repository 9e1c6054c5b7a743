// quarnfeld.exe: the console front end. It reads the command line, points the
// outbox at standard output (cli/commands.h) and hands the command to the
// same dispatcher the window uses. It never asks for administrator rights:
// management tools run it unattended, so it says what it needs and ends.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "catalogue/catalogue.h"
#include "cli/commands.h"
#include "platform/console.h"
#include "platform/machine.h"
#include "platform/restore_point.h"
#include "platform/standard_output.h"
#include "platform/text.h"
#include "run/run_state.h"

namespace {

// Ctrl+C during a run or an undo: it ends after the tweak in progress. At any
// other time the program ends at once; nothing of it is half done then.
bool Interrupted() {
  if (!g_running) return false;
  g_cancelRequested = true;
  return true;
}

std::filesystem::path PathOf(const std::string& name) { return std::filesystem::path(platform::Utf8ToUtf16(name)); }

std::optional<std::string> ReadFileStart(const std::string& name, size_t maxBytes) {
  std::ifstream in(PathOf(name), std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(maxBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) return std::nullopt;
  text.resize(static_cast<size_t>(in.gcount()));
  return text;
}

bool WriteWholeFile(const std::string& name, const std::string& text) {
  std::ofstream out(PathOf(name), std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  return !out.fail();
}

}  // namespace

int main(int argc, char** argv) {
  const CliCommand command = ParseCommandLine(platform::CommandLineArguments(argc, argv));
  // As the window does: System Restore calls back into the process that asks
  // it for a restore point.
  platform::AllowSystemRestoreCallbacks();
  g_catalogue = BuildCatalogue();
  platform::OnConsoleInterrupt(Interrupted);
  CliSystem system;
  system.output.out = [](std::string_view line) { platform::WriteStandardOutputLine(line); };
  system.output.notice = [](std::string_view line) { platform::WriteStandardError(std::string(line) + "\n"); };
  system.output.progress = platform::StandardErrorIsConsole();
  system.actions = SystemPageCommandActions();
  system.elevated = platform::ProcessIsElevated;
  system.readFile = ReadFileStart;
  system.writeFile = WriteWholeFile;
  return RunCliCommand(command, system);
}
