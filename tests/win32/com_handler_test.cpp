// The COM handler objects the program hands to the WebView2 runtime: what
// they answer, how long they live, and that the runtime is always told S_OK.

#include "host/com_handler.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace {

struct Calls {
  int count = 0;
  ICoreWebView2* sender = nullptr;
  ICoreWebView2WebMessageReceivedEventArgs* args = nullptr;
};

using Handler = ComHandler<ICoreWebView2WebMessageReceivedEventHandler, std::shared_ptr<Calls>, ICoreWebView2*,
                           ICoreWebView2WebMessageReceivedEventArgs*>;

void Record(const std::shared_ptr<Calls>& calls, ICoreWebView2* sender,
            ICoreWebView2WebMessageReceivedEventArgs* args) {
  ++calls->count;
  calls->sender = sender;
  calls->args = args;
}

void Throw(const std::shared_ptr<Calls>& calls, ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs*) {
  ++calls->count;
  throw std::runtime_error("from the dispatcher");
}

TEST(ComHandler, AnswersIUnknownAndItsOwnInterfaceWithAReference) {
  auto calls = std::make_shared<Calls>();
  ICoreWebView2WebMessageReceivedEventHandler* handler = Handler::Create(&Record, calls);
  ASSERT_NE(handler, nullptr);
  for (const IID& iid : {__uuidof(IUnknown), __uuidof(ICoreWebView2WebMessageReceivedEventHandler)}) {
    void* out = nullptr;
    EXPECT_EQ(handler->QueryInterface(iid, &out), S_OK);
    EXPECT_EQ(out, handler);
    EXPECT_EQ(handler->Release(), 1u);  // the reference QueryInterface added
  }
  EXPECT_EQ(handler->Release(), 0u);
}

TEST(ComHandler, RefusesEveryOtherInterface) {
  ICoreWebView2WebMessageReceivedEventHandler* handler = Handler::Create(&Record, std::make_shared<Calls>());
  ASSERT_NE(handler, nullptr);
  for (const IID& iid : {__uuidof(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler),
                         __uuidof(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler), __uuidof(ICoreWebView2),
                         __uuidof(IDispatch)}) {
    void* out = handler;
    EXPECT_EQ(handler->QueryInterface(iid, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
  }
  EXPECT_EQ(handler->QueryInterface(__uuidof(IUnknown), nullptr), E_POINTER);
  EXPECT_EQ(handler->Release(), 0u);
}

TEST(ComHandler, LivesUntilTheLastReferenceIsReleased) {
  auto calls = std::make_shared<Calls>();
  ICoreWebView2WebMessageReceivedEventHandler* handler = Handler::Create(&Record, calls);
  ASSERT_NE(handler, nullptr);
  EXPECT_EQ(calls.use_count(), 2);
  EXPECT_EQ(handler->AddRef(), 2u);  // the runtime keeps its own reference
  EXPECT_EQ(handler->Release(), 1u);
  EXPECT_EQ(calls.use_count(), 2);
  EXPECT_EQ(handler->Release(), 0u);
  EXPECT_EQ(calls.use_count(), 1);  // the object and what it captured are gone
}

TEST(ComHandler, InvokeHandsTheCallAndTheCapturedValueToItsFunction) {
  auto calls = std::make_shared<Calls>();
  ICoreWebView2WebMessageReceivedEventHandler* handler = Handler::Create(&Record, calls);
  ASSERT_NE(handler, nullptr);
  auto* sender = reinterpret_cast<ICoreWebView2*>(0x1000);
  auto* args = reinterpret_cast<ICoreWebView2WebMessageReceivedEventArgs*>(0x2000);
  EXPECT_EQ(handler->Invoke(sender, args), S_OK);
  EXPECT_EQ(calls->count, 1);
  EXPECT_EQ(calls->sender, sender);
  EXPECT_EQ(calls->args, args);
  handler->Release();
}

TEST(ComHandler, InvokeKeepsExceptionsInAndStillReportsSuccess) {
  auto calls = std::make_shared<Calls>();
  ICoreWebView2WebMessageReceivedEventHandler* handler = Handler::Create(&Throw, calls);
  ASSERT_NE(handler, nullptr);
  EXPECT_EQ(handler->Invoke(nullptr, nullptr), S_OK);
  EXPECT_EQ(handler->Invoke(nullptr, nullptr), S_OK);
  EXPECT_EQ(calls->count, 2);
  handler->Release();
}

}  // namespace
