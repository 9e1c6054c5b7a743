#pragma once
// Collects what the outbox delivers, for tests of the run and the dispatcher:
// no window is set, so nothing is posted, and Take() drains on this thread.
#include <string>
#include <vector>

#include "protocol/json_text.h"
#include "protocol/outbox.h"

inline std::vector<std::string>& DeliveredMessages() {
  static std::vector<std::string> delivered;
  return delivered;
}

inline void CollectPageMessages() {
  g_mainWindow = nullptr;
  g_webView = nullptr;
  DrainOutbox();
  DeliveredMessages().clear();
  g_webView = [](const std::u16string& json) { DeliveredMessages().push_back(Utf16ToUtf8(json)); };
}

inline std::vector<std::string> TakePageMessages() {
  DrainOutbox();
  std::vector<std::string> taken;
  taken.swap(DeliveredMessages());
  return taken;
}
