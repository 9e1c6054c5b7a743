// The outbox end to end: pushes, the window message that wakes the UI thread,
// the drain and delivery. Built natively (POSIX stand-in for the window) and
// for Windows, where it runs under Wine with a real window and GetMessageW
// loop.
#include "protocol/outbox.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/message_window.h"
#include "protocol/json_text.h"

using namespace std::string_literals;

namespace {

// What the UI thread saw. Touched only on the thread that runs the loop.
struct UiThread {
  std::vector<std::u16string> delivered;
  std::vector<size_t> deliveredPerDrain;
  std::function<void(uint32_t message)> afterMessage;
};
UiThread g_ui;

// The window procedure's part: drain on WM_OUTBOX, as the host does.
void OnMessage(uint32_t message) {
  if (message == WM_OUTBOX) {
    const size_t before = g_ui.delivered.size();
    DrainOutbox();
    g_ui.deliveredPerDrain.push_back(g_ui.delivered.size() - before);
  }
  if (g_ui.afterMessage) g_ui.afterMessage(message);
}

void DeliverToUi() {
  g_webView = [](const std::u16string& json) { g_ui.delivered.push_back(json); };
}

// Handles every message posted so far (and those posted meanwhile), then returns.
void PumpMessages() {
  platform::QuitMessageLoop(0);
  ASSERT_EQ(platform::RunMessageLoop(), 0);
}

class Outbox : public testing::Test {
 protected:
  void SetUp() override {
    g_webView = nullptr;
    DrainOutbox();
    g_ui = {};
    window_ = platform::CreateMessageWindow(&OnMessage);
    ASSERT_NE(window_, nullptr);
    g_mainWindow = window_;
    DeliverToUi();
  }
  void TearDown() override {
    g_mainWindow = nullptr;
    g_webView = nullptr;
    platform::DestroyMessageWindow(window_);
    DrainOutbox();
    g_ui = {};
  }

  platform::Window window_ = nullptr;
};

TEST_F(Outbox, PushesBeforeTheLoopRunsGoOutInOrderWithTheFirstNotification) {
  PostToPageUtf8("{\"n\":1}");
  PostToPage(u"{\"n\":2}");
  PostToPageUtf8("{\"n\":3}");
  // Nothing reaches the page inside a push, not even on the UI thread.
  EXPECT_TRUE(g_ui.delivered.empty());
  PumpMessages();
  EXPECT_EQ(g_ui.delivered, (std::vector<std::u16string>{u"{\"n\":1}", u"{\"n\":2}", u"{\"n\":3}"}));
  // One notification per push; the surplus ones find the queue empty.
  EXPECT_EQ(g_ui.deliveredPerDrain, (std::vector<size_t>{3, 0, 0}));
}

TEST_F(Outbox, PushWithoutAWindowWaitsForTheNextDrain) {
  g_mainWindow = nullptr;
  PostToPageUtf8("early");
  PumpMessages();
  EXPECT_TRUE(g_ui.deliveredPerDrain.empty());
  g_mainWindow = window_;
  PostToPageUtf8("late");
  PumpMessages();
  EXPECT_EQ(g_ui.delivered, (std::vector<std::u16string>{u"early", u"late"}));
  EXPECT_EQ(g_ui.deliveredPerDrain, std::vector<size_t>{2});
}

TEST_F(Outbox, DrainWithoutAPageDiscardsItsTextsForGood) {
  g_webView = nullptr;
  PostToPageUtf8("lost 1");
  PostToPageUtf8("lost 2");
  PumpMessages();
  DeliverToUi();
  PostToPageUtf8("kept");
  PumpMessages();
  EXPECT_EQ(g_ui.delivered, std::vector<std::u16string>{u"kept"});
  EXPECT_EQ(g_ui.deliveredPerDrain, (std::vector<size_t>{0, 0, 1}));
}

TEST_F(Outbox, EmptyTextIsDeliveredLikeAnyOther) {
  PostToPageUtf8("");
  PostToPage(u"");
  PumpMessages();
  EXPECT_EQ(g_ui.delivered, (std::vector<std::u16string>{u"", u""}));
}

TEST_F(Outbox, Utf8TextsArriveAsTheSameCharactersInUtf16) {
  PostToPageUtf8("{\"t\":\"Привет, мир\"}");
  PostToPageUtf8("\xF0\x9F\x98\x80 \xF0\x90\x8D\x88");
  PostToPageUtf8("a\xFFz \xE2\x82");
  PostToPageUtf8("a\0b"s);
  PumpMessages();
  EXPECT_EQ(g_ui.delivered, (std::vector<std::u16string>{
                                u"{\"t\":\"Привет, мир\"}",
                                u"\U0001F600 \U00010348",
                                u"a\uFFFDz \uFFFD",
                                u"a\0b"s,
                            }));
}

// Where a text came from and its position in that producer's sequence.
struct Origin {
  char producer;
  int seq;
};

std::string Numbered(char producer, int seq) {
  std::string text(1, producer);
  text += std::to_string(seq);
  return text;
}

Origin ParseOrigin(const std::u16string& text) {
  return {static_cast<char>(text.at(0)), std::stoi(std::string(text.begin() + 1, text.end()))};
}

TEST_F(Outbox, ConcurrentProducersKeepTheirOwnOrderAndLoseNothing) {
  constexpr int kPerProducer = 5000;
  constexpr uint32_t kRunFinished = platform::kFirstPrivateMessage + 2;
  int uiPushed = 0;
  bool runFinished = false;
  bool quitting = false;
  // The UI thread pushes one text each time it has handled a notification, so
  // its pushes interleave with the drains and with the run thread's pushes.
  g_ui.afterMessage = [&](uint32_t message) {
    if (message == kRunFinished) runFinished = true;
    if (message == WM_OUTBOX && uiPushed < kPerProducer) PostToPage(Utf8ToUtf16(Numbered('u', uiPushed++)));
    if (runFinished && uiPushed == kPerProducer && !quitting) {
      quitting = true;
      DrainOutbox();
      platform::QuitMessageLoop(0);
    }
  };
  PostToPage(Utf8ToUtf16(Numbered('u', uiPushed++)));
  std::thread run([window = window_] {
    for (int i = 0; i < kPerProducer; ++i) PostToPageUtf8(Numbered('r', i));
    // Queued behind every notification of the pushes above; retried while
    // the thread's message queue is full.
    while (!platform::PostWindowMessage(window, kRunFinished)) std::this_thread::yield();
  });
  EXPECT_EQ(platform::RunMessageLoop(), 0);
  run.join();

  int nextUi = 0;
  int nextRun = 0;
  for (const std::u16string& text : g_ui.delivered) {
    const Origin origin = ParseOrigin(text);
    ASSERT_TRUE(origin.producer == 'u' || origin.producer == 'r');
    int& next = origin.producer == 'u' ? nextUi : nextRun;
    ASSERT_EQ(origin.seq, next) << "producer " << origin.producer;
    ++next;
  }
  EXPECT_EQ(nextUi, kPerProducer);
  EXPECT_EQ(nextRun, kPerProducer);
  EXPECT_EQ(g_ui.delivered.size(), 2u * kPerProducer);
}

}  // namespace
