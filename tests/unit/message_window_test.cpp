// The platform's message window: posted from any thread, handled on the loop's
// thread in posting order. Natively this checks the POSIX stand-in against the
// behaviour that the Win32 build (under Wine) shows for real.
#include "platform/message_window.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

constexpr uint32_t kFirstA = platform::kFirstPrivateMessage + 0x100;
constexpr uint32_t kFirstB = platform::kFirstPrivateMessage + 0x1000;
constexpr uint32_t kProducerDone = platform::kFirstPrivateMessage + 1;
constexpr uint32_t kPostAnother = platform::kFirstPrivateMessage + 2;

struct Handled {
  std::vector<uint32_t> messages;
  std::vector<std::thread::id> threads;
  int producersDone = 0;
};
Handled g_handled;
platform::Window g_window = nullptr;

void Record(uint32_t message) {
  g_handled.messages.push_back(message);
  g_handled.threads.push_back(std::this_thread::get_id());
  if (message == kPostAnother) platform::PostWindowMessage(g_window, kFirstA);
  if (message == kProducerDone && ++g_handled.producersDone == 2) platform::QuitMessageLoop(0);
}

class MessageWindow : public testing::Test {
 protected:
  void SetUp() override {
    g_handled = {};
    g_window = platform::CreateMessageWindow(&Record);
    ASSERT_NE(g_window, nullptr);
  }
  void TearDown() override { platform::DestroyMessageWindow(g_window); }
};

TEST_F(MessageWindow, MessagesFromOtherThreadsAreHandledOnTheLoopThreadInPostingOrder) {
  constexpr uint32_t kCount = 2000;
  auto produce = [](uint32_t first) {
    for (uint32_t i = 0; i < kCount; ++i) ASSERT_TRUE(platform::PostWindowMessage(g_window, first + i));
    platform::PostWindowMessage(g_window, kProducerDone);
  };
  std::thread a(produce, kFirstA);
  std::thread b(produce, kFirstB);
  EXPECT_EQ(platform::RunMessageLoop(), 0);
  a.join();
  b.join();

  uint32_t nextA = kFirstA;
  uint32_t nextB = kFirstB;
  for (const uint32_t message : g_handled.messages) {
    if (message == kProducerDone) continue;
    uint32_t& next = message < kFirstB ? nextA : nextB;
    ASSERT_EQ(message, next);
    ++next;
  }
  EXPECT_EQ(nextA, kFirstA + kCount);
  EXPECT_EQ(nextB, kFirstB + kCount);
  for (const std::thread::id id : g_handled.threads) ASSERT_EQ(id, std::this_thread::get_id());
}

TEST_F(MessageWindow, QuitEndsTheLoopWithItsCodeOnceThePostedMessagesAreHandled) {
  ASSERT_TRUE(platform::PostWindowMessage(g_window, kPostAnother));
  ASSERT_TRUE(platform::PostWindowMessage(g_window, kFirstB));
  platform::QuitMessageLoop(7);
  EXPECT_EQ(platform::RunMessageLoop(), 7);
  // The message that a handler posted meanwhile was handled too.
  EXPECT_EQ(g_handled.messages, (std::vector<uint32_t>{kPostAnother, kFirstB, kFirstA}));
}

TEST_F(MessageWindow, DestroyedWindowGetsNothingMore) {
  ASSERT_TRUE(platform::PostWindowMessage(g_window, kFirstA));
  platform::DestroyMessageWindow(g_window);
  EXPECT_FALSE(platform::PostWindowMessage(g_window, kFirstB));
  platform::QuitMessageLoop(0);
  EXPECT_EQ(platform::RunMessageLoop(), 0);
  EXPECT_TRUE(g_handled.messages.empty());
  g_window = platform::CreateMessageWindow(&Record);
}

}  // namespace
