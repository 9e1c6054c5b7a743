#pragma once
// The "log", "progress" and "done" messages for the page. Each builder formats
// one compact JSON text with keys in a fixed order and posts it through the
// outbox, so any thread may call them. Formats follow printf rules and are
// UTF-8; what does not fit the fixed buffer is cut, which is not an error:
// 1024 bytes for a log text (at most 1023 bytes of text), 128 bytes for
// "progress" and "done".

#include <cstdint>

// The severity of a "log" message, shown by the page as "info", "ok", "warn"
// or "err". Any other value is written as "info".
enum class LogLevel : int { Info = 0, Ok = 1, Warn = 2, Err = 3 };

// {"type":"log","level":"<word>","text":<the formatted text through JsonQuote>}
[[gnu::format(printf, 2, 3)]] void PostLog(LogLevel level, const char* format, ...);

// {"type":"progress","cur":<cur>,"max":<max>,"ok":<ok>,"err":<err>}
void PostProgress(int32_t cur, int32_t max, int32_t ok, int32_t err);

// {"type":"done","ok":<ok>,"err":<err>}, the last message of a run.
void PostDone(int32_t ok, int32_t err);
