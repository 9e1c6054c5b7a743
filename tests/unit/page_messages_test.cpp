// The bytes of the "log", "progress" and "done" messages as they reach the
// page, taken from the outbox's delivery end.
#include "protocol/page_messages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "protocol/outbox.h"

namespace {

class PageMessages : public testing::Test {
 protected:
  void SetUp() override {
    g_mainWindow = nullptr;
    g_webView = nullptr;
    DrainOutbox();
    g_webView = [this](const std::u16string& json) { delivered_.push_back(json); };
  }
  void TearDown() override { g_webView = nullptr; }

  // Everything posted since the last call, as the page receives it.
  std::vector<std::u16string> Delivered() {
    DrainOutbox();
    return std::exchange(delivered_, {});
  }

 private:
  std::vector<std::u16string> delivered_;
};

TEST_F(PageMessages, LogCarriesTheLevelWordAndTheFormattedText) {
  PostLog(LogLevel::Info, "Running %d tweaks...", 3);
  PostLog(LogLevel::Ok, "[OK] %s", "Disable telemetry");
  PostLog(LogLevel::Warn, "Unknown command: %s", "Ready");
  PostLog(LogLevel::Err, "[FAIL] %s", "Clear caches");
  PostLog(LogLevel::Warn, "[%d/%d] %s", 1, 3, "x");
  EXPECT_EQ(Delivered(), (std::vector<std::u16string>{
                             uR"({"type":"log","level":"info","text":"Running 3 tweaks..."})",
                             uR"({"type":"log","level":"ok","text":"[OK] Disable telemetry"})",
                             uR"({"type":"log","level":"warn","text":"Unknown command: Ready"})",
                             uR"({"type":"log","level":"err","text":"[FAIL] Clear caches"})",
                             uR"({"type":"log","level":"warn","text":"[1/3] x"})",
                         }));
}

TEST_F(PageMessages, LevelOutsideTheTableIsWrittenAsInfo) {
  PostLog(static_cast<LogLevel>(7), "seven");
  PostLog(static_cast<LogLevel>(-1), "minus one");
  EXPECT_EQ(Delivered(), (std::vector<std::u16string>{
                             uR"({"type":"log","level":"info","text":"seven"})",
                             uR"({"type":"log","level":"info","text":"minus one"})",
                         }));
}

TEST_F(PageMessages, QuotesAndLineBreaksAreEscapedSoTheMessageStaysJson) {
  PostLog(LogLevel::Warn, "Unknown command: %s", "say \"hi\"\r\n\tback\\slash");
  EXPECT_EQ(Delivered(),
            std::vector<std::u16string>{
                uR"({"type":"log","level":"warn","text":"Unknown command: say \"hi\"\r\n\tback\\slash"})"});
}

TEST_F(PageMessages, LongLogTextIsCutTo1023Bytes) {
  const std::string text(2000, 'a');
  PostLog(LogLevel::Info, "%s", text.c_str());
  const std::u16string expected =
      u"{\"type\":\"log\",\"level\":\"info\",\"text\":\"" + std::u16string(1023, u'a') + u"\"}";
  EXPECT_EQ(Delivered(), std::vector<std::u16string>{expected});
}

TEST_F(PageMessages, CutInsideAMultiByteCharacterArrivesAsReplacementCharacter) {
  // 1022 bytes, then a two-byte Cyrillic letter whose second byte falls past the cut.
  const std::string text = std::string(1022, 'a') + "\xD0\x96" + "tail";
  PostLog(LogLevel::Err, "%s", text.c_str());
  const std::u16string expected =
      u"{\"type\":\"log\",\"level\":\"err\",\"text\":\"" + std::u16string(1022, u'a') + u"\uFFFD\"}";
  EXPECT_EQ(Delivered(), std::vector<std::u16string>{expected});
}

TEST_F(PageMessages, NonAsciiTextArrivesUnchanged) {
  PostLog(LogLevel::Ok, "[OK] %s", "Отключить телеметрию \xF0\x9F\x98\x80");
  EXPECT_EQ(Delivered(),
            std::vector<std::u16string>{uR"({"type":"log","level":"ok","text":"[OK] Отключить телеметрию 😀"})"});
}

TEST_F(PageMessages, ProgressAndDoneCarryPlainIntegers) {
  PostProgress(0, 3, 0, 0);
  PostProgress(INT32_MIN, INT32_MAX, -1, 12);
  PostDone(1, 1);
  PostDone(0, INT32_MIN);
  EXPECT_EQ(Delivered(), (std::vector<std::u16string>{
                             uR"({"type":"progress","cur":0,"max":3,"ok":0,"err":0})",
                             uR"({"type":"progress","cur":-2147483648,"max":2147483647,"ok":-1,"err":12})",
                             uR"({"type":"done","ok":1,"err":1})",
                             uR"({"type":"done","ok":0,"err":-2147483648})",
                         }));
}

}  // namespace
