// libFuzzer target: any bytes as a page message through the dispatcher, and
// through the two field readers with a key taken from the input. The run and
// "init" are replaced, so every input is handled at once and nothing starts.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/dispatcher.h"
#include "protocol/json_text.h"
#include "protocol/outbox.h"
#include "run/run_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const size_t keyLength = size == 0 ? 0 : data[0] % 8;
  const std::string_view key = text.substr(0, keyLength);
  const std::string value = JsonGetString(text, key);
  const std::vector<int32_t> ids = JsonGetIntArray(text, key);
  if (value.size() > size || ids.size() > size) __builtin_trap();

  static const PageCommandActions actions{[] { return std::string("{\"type\":\"init\"}"); },
                                          [](std::vector<int32_t> started, bool) {
                                            if (started.empty()) __builtin_trap();
                                            g_running = false;
                                          },
                                          [](std::function<void()>) {}};
  g_running = (size % 3) == 0;  // sometimes a run is active
  HandlePageMessageWith(text, actions);
  DrainOutbox();  // no web view: the answers are dropped
  return 0;
}
