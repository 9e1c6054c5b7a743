#include "protocol/page_messages.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>

#include "protocol/json_text.h"
#include "protocol/outbox.h"

namespace {

constexpr std::string_view kLogPrefix = "{\"type\":\"log\",\"level\":\"";
constexpr std::string_view kLogTextKey = "\",\"text\":";

std::string_view LevelWord(LogLevel level) {
  switch (level) {
    case LogLevel::Ok: return "ok";
    case LogLevel::Warn: return "warn";
    case LogLevel::Err: return "err";
    default: return "info";
  }
}

// vsnprintf into a fixed buffer; the result is what fits (size - 1 bytes at
// most), counted from the formatter's result so an embedded %c NUL is kept.
template <size_t kSize>
std::string_view FormatInto(char (&buffer)[kSize], const char* format, va_list args) {
  buffer[0] = '\0';
  const int written = std::vsnprintf(buffer, kSize, format, args);
  if (written < 0) return {};
  return {buffer, std::min(static_cast<size_t>(written), kSize - 1)};
}

[[gnu::format(printf, 1, 2)]] void PostFormatted128(const char* format, ...) {
  char buffer[128];
  va_list args;
  va_start(args, format);
  const std::string_view text = FormatInto(buffer, format, args);
  va_end(args);
  PostToPageUtf8(std::string(text));
}

}  // namespace

void PostLog(LogLevel level, const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  const std::string_view text = FormatInto(buffer, format, args);
  va_end(args);
  std::string json;
  json.reserve(kLogPrefix.size() + kLogTextKey.size() + text.size() + 16);
  json += kLogPrefix;
  json += LevelWord(level);
  json += kLogTextKey;
  json += JsonQuote(text);
  json += '}';
  PostToPage(Utf8ToUtf16(json));
}

void PostProgress(int32_t cur, int32_t max, int32_t ok, int32_t err) {
  PostFormatted128("{\"type\":\"progress\",\"cur\":%d,\"max\":%d,\"ok\":%d,\"err\":%d}", cur, max, ok, err);
}

void PostDone(int32_t ok, int32_t err) { PostFormatted128("{\"type\":\"done\",\"ok\":%d,\"err\":%d}", ok, err); }
