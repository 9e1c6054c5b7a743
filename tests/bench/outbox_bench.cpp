// Outbox throughput: producers push 100-byte UTF-8 messages (converted to
// UTF-16 outside the lock) while the consumer drains in a loop, as the UI
// thread does on its notifications. No window is set, so the figures are the
// outbox's own cost, not the stand-in message loop's.
#include <benchmark/benchmark.h>

#include <string>
#include <thread>
#include <vector>

#include "protocol/outbox.h"

namespace {

constexpr int kMessagesPerIteration = 20000;

// {"type":"log","level":"info","text":"..."} padded to 100 bytes.
std::string HundredByteMessage() {
  std::string json = "{\"type\":\"log\",\"level\":\"info\",\"text\":\"";
  json.append(100 - json.size() - 2, 'x');
  json += "\"}";
  return json;
}

void BM_PushDrain(benchmark::State& state) {
  const int producers = static_cast<int>(state.range(0));
  const std::string message = HundredByteMessage();
  size_t delivered = 0;
  g_mainWindow = nullptr;
  g_webView = [&delivered](const std::u16string&) { ++delivered; };
  for (auto _ : state) {
    delivered = 0;
    std::vector<std::thread> threads;
    for (int p = 0; p < producers; ++p) {
      threads.emplace_back([&message, producers] {
        for (int i = 0; i < kMessagesPerIteration / producers; ++i) PostToPageUtf8(message);
      });
    }
    while (delivered < kMessagesPerIteration) DrainOutbox();
    for (std::thread& t : threads) t.join();
  }
  g_webView = nullptr;
  state.SetItemsProcessed(state.iterations() * kMessagesPerIteration);
  state.SetBytesProcessed(state.iterations() * kMessagesPerIteration * static_cast<int64_t>(message.size()));
}

// A surplus notification: the drain finds the queue empty.
void BM_DrainEmpty(benchmark::State& state) {
  g_webView = [](const std::u16string&) {};
  for (auto _ : state) DrainOutbox();
  g_webView = nullptr;
}

BENCHMARK(BM_PushDrain)->ArgName("producers")->Arg(1)->Arg(2)->UseRealTime();
BENCHMARK(BM_DrainEmpty);

}  // namespace
