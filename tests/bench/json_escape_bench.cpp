#include <benchmark/benchmark.h>

#include <string>

#include "protocol/json_text.h"

namespace {

constexpr size_t kTextSize = 40 * 1024;

std::string Repeat(const std::string& unit) {
  std::string s;
  while (s.size() < kTextSize) s += unit;
  s.resize(kTextSize);
  return s;
}

void Escape(benchmark::State& state, const std::string& text) {
  for (auto _ : state) benchmark::DoNotOptimize(JsonEscape(text));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

// Every byte needs escaping; control bytes take the six-byte \u form.
void BM_JsonEscapeAllEscaped(benchmark::State& state) { Escape(state, Repeat("\"\\\n\t\x01\x1f\r\b")); }
void BM_JsonEscapePlainAscii(benchmark::State& state) {
  Escape(state, Repeat("Disable telemetry collection for the current user. "));
}

BENCHMARK(BM_JsonEscapeAllEscaped);
BENCHMARK(BM_JsonEscapePlainAscii);

}  // namespace
