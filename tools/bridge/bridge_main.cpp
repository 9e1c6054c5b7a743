// The page bridge: the native core without a window or a web view. Page
// commands arrive on standard input, one JSON text a line, and go to the same
// dispatcher the program uses, on this (UI) thread; every message the outbox
// delivers is written to standard output as one line, flushed at once. Only
// the delivery end differs from the program. When the input ends, the bridge
// lets an active run finish, delivers what is left and exits.
#include <chrono>
#include <deque>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include "app/dispatcher.h"
#include "catalogue/catalogue.h"
#include "platform/message_window.h"
#include "platform/restore_point.h"
#include "platform/standard_output.h"
#include "platform/thread.h"
#include "protocol/json_text.h"
#include "protocol/outbox.h"
#include "run/run_state.h"

namespace {

constexpr uint32_t kCommandsWaiting = WM_OUTBOX + 1;
constexpr uint32_t kInputEnded = WM_OUTBOX + 2;

std::mutex g_inputLock;
std::deque<std::string> g_inputLines;

void HandleBridgeMessage(uint32_t message) {
  if (message == WM_OUTBOX) {
    DrainOutbox();
  } else if (message == kCommandsWaiting) {
    std::deque<std::string> lines;
    {
      std::lock_guard<std::mutex> lock(g_inputLock);
      lines.swap(g_inputLines);
    }
    for (const std::string& line : lines) HandlePageMessage(line);
  } else if (message == kInputEnded) {
    while (g_running) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    DrainOutbox();
    // The loop ends only once nothing is left to handle; with the window gone,
    // a late push can no longer keep it going.
    platform::DestroyMessageWindow(g_mainWindow);
    platform::QuitMessageLoop(0);
  }
}

void ReadInput(void* windowHandle) {
  const auto window = static_cast<platform::Window>(windowHandle);
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    {
      std::lock_guard<std::mutex> lock(g_inputLock);
      g_inputLines.push_back(std::move(line));
    }
    platform::PostWindowMessage(window, kCommandsWaiting);
  }
  platform::PostWindowMessage(window, kInputEnded);
}

}  // namespace

int main() {
  // As the program does: System Restore calls back into the process that
  // asks it for a restore point.
  platform::AllowSystemRestoreCallbacks();
  g_catalogue = BuildCatalogue();
  g_webView = [](const std::u16string& json) { platform::WriteStandardOutputLine(Utf16ToUtf8(json)); };
  const platform::Window window = platform::CreateMessageWindow(HandleBridgeMessage);
  if (window == nullptr) return 1;
  g_mainWindow = window;
  if (!platform::StartDetachedThread(ReadInput, window)) return 1;
  return platform::RunMessageLoop();
}
