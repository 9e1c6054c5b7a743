#include "run/tweak_output.h"

#include <map>
#include <mutex>

namespace {

std::mutex g_outputMutex;
std::map<int32_t, std::string> g_outputs;

}  // namespace

void ClearLastRunOutput() {
  std::map<int32_t, std::string> dropped;
  {
    std::lock_guard lock(g_outputMutex);
    dropped.swap(g_outputs);
  }
}

void KeepTweakOutput(int32_t id, std::string text) {
  std::lock_guard lock(g_outputMutex);
  g_outputs[id] = std::move(text);
}

std::optional<std::string> LastRunOutput(int32_t id) {
  std::lock_guard lock(g_outputMutex);
  const auto found = g_outputs.find(id);
  if (found == g_outputs.end()) return std::nullopt;
  return found->second;
}
