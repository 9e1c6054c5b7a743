// The dispatcher's answers, with the run and "init" replaced.
#include "app/dispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/init_message.h"
#include "catalogue/tweak_index.h"
#include "platform/thread.h"
#include "protocol/json_value.h"
#include "run/optimize_run.h"
#include "run/run_state.h"
#include "run_messages.h"

namespace {

using Messages = std::vector<std::string>;

std::string Warn(const std::string& text) {
  return "{\"type\":\"log\",\"level\":\"warn\",\"text\":" + JsonQuote(text) + "}";
}

class DispatcherTest : public testing::Test {
 protected:
  void SetUp() override {
    CollectPageMessages();
    g_running = false;
    g_cancelRequested = false;
  }
  void Handle(std::string_view text) { HandlePageMessageWith(text, actions); }

  std::vector<std::vector<int32_t>> started;
  std::vector<bool> skipApplied;
  std::vector<std::function<void()>> jobs;
  bool runningWhenStarted = false;
  PageCommandActions actions{[] { return std::string("{\"type\":\"init\"}"); },
                             [this](std::vector<int32_t> ids, RunOptions options) {
                               runningWhenStarted = g_running;
                               started.push_back(std::move(ids));
                               skipApplied.push_back(options.skipApplied);
                             },
                             [this](std::function<void()> job) { jobs.push_back(std::move(job)); }};
};

TEST_F(DispatcherTest, ReadyIsAnsweredWithInitEachTime) {
  Handle(R"({"cmd":"ready"})");
  Handle(R"({"cmd" : "ready"})");
  EXPECT_EQ(TakePageMessages(), (Messages{"{\"type\":\"init\"}", "{\"type\":\"init\"}"}));
}

TEST_F(DispatcherTest, UnknownCommandsAreShownAsReceived) {
  Handle(R"({"cmd":"Ready"})");
  Handle("{\"cmd\":\t\"ready\"}");
  Handle("not json at all");
  Handle(R"({"cmd":"a\"b"})");
  EXPECT_EQ(TakePageMessages(), (Messages{Warn("Unknown command: Ready"), Warn("Unknown command: "),
                                          Warn("Unknown command: "), Warn("Unknown command: a\"b")}));
}

TEST_F(DispatcherTest, OptimizeStartsARunWithTheIdsInOrder) {
  Handle(R"({"cmd":"optimize","ids":[5,2,5]})");
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0], (std::vector<int32_t>{5, 2, 5}));
  // Raised before the thread starts, so a second "optimize" is refused at once.
  EXPECT_TRUE(runningWhenStarted);
  Handle(R"({"cmd":"optimize","ids":[1]})");
  EXPECT_EQ(started.size(), 1u);
  EXPECT_EQ(TakePageMessages(), (Messages{Warn("Already running, please wait.")}));
}

TEST_F(DispatcherTest, OptimizeWhileRunningIsRefusedWhateverItsIds) {
  g_running = true;
  Handle(R"({"cmd":"optimize"})");
  Handle(R"({"cmd":"optimize","ids":[]})");
  EXPECT_TRUE(started.empty());
  EXPECT_EQ(TakePageMessages(),
            (Messages{Warn("Already running, please wait."), Warn("Already running, please wait.")}));
  EXPECT_TRUE(g_running);
}

TEST_F(DispatcherTest, EmptySelectionIsRefusedButUnknownIdsRun) {
  Handle(R"({"cmd":"optimize","ids":[]})");
  Handle(R"({"cmd":"optimize","ids": [ ] })");
  EXPECT_EQ(TakePageMessages(),
            (Messages{Warn("Nothing to do: empty selection."), Warn("Nothing to do: empty selection.")}));
  EXPECT_FALSE(g_running);
  Handle(R"({"cmd":"optimize","ids":[-1]})");
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0], (std::vector<int32_t>{-1}));
}

TEST_F(DispatcherTest, IdsThatAreNotPlainIntegersRunNothing) {
  // Each would once have run something: [1e2] ran ids 1 and 2, [-] ran id 0.
  for (const char* text :
       {R"({"cmd":"optimize","ids":[1e2]})", R"({"cmd":"optimize","ids":[-]})", R"({"cmd":"optimize","ids":[1.5]})",
        R"({"cmd":"optimize","ids":["4"]})", R"({"cmd":"optimize","ids":[2147483648]})",
        R"({"cmd":"optimize","ids":[1,2)", R"({"cmd":"optimize","ids":"5"})", R"({"cmd":"optimize"})",
        R"({"cmd":"optimize","x":{"ids":[3]}})", R"({"cmd":"optimize","note":"\"ids\":[3]"})",
        R"({"cmd":"optimize","ids":[1],"ids":[2]})"}) {
    Handle(text);
    EXPECT_EQ(TakePageMessages(), (Messages{Warn("Invalid command: \"ids\" must be an array of whole numbers.")}))
        << text;
    EXPECT_FALSE(g_running) << text;
  }
  EXPECT_TRUE(started.empty());
}

TEST_F(DispatcherTest, CancelBeforeOptimizeIsForgottenButCancelAfterItCounts) {
  Handle(R"({"cmd":"cancel"})");
  actions.startRun = [this](std::vector<int32_t> ids, RunOptions) {
    // The run thread would start here: the flag was cleared before.
    EXPECT_FALSE(g_cancelRequested);
    started.push_back(std::move(ids));
  };
  Handle(R"({"cmd":"optimize","ids":[1]})");
  ASSERT_EQ(started.size(), 1u);
  // A cancel that arrives before the thread reads the flag is still seen by it.
  Handle(R"({"cmd":"cancel"})");
  EXPECT_TRUE(g_cancelRequested);
}

TEST_F(DispatcherTest, ThreadThatCannotStartIsReportedAndLeavesNoRun) {
  actions.startRun = [](std::vector<int32_t>, RunOptions) {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  };
  EXPECT_NO_THROW(Handle(R"({"cmd":"optimize","ids":[1]})"));
  EXPECT_FALSE(g_running);
  EXPECT_EQ(TakePageMessages(), (Messages{Warn("Could not start the run, please try again.")}));
}

TEST_F(DispatcherTest, OptimizeSkipsAppliedTweaksOnlyWhenThePageAsks) {
  for (const char* command :
       {R"({"cmd":"optimize","ids":[1],"skipApplied":true})", R"({"cmd":"optimize","ids":[1]})",
        R"({"cmd":"optimize","ids":[1],"skipApplied":"yes"})", R"({"cmd":"optimize","ids":[1],"skipApplied":false})"}) {
    g_running = false;
    Handle(command);
  }
  EXPECT_EQ(skipApplied, (std::vector<bool>{true, false, false, false}));
}

// Undo is refused like a run while one is active, and needs its fields.
TEST_F(DispatcherTest, UndoNeedsARunIdAndWaitsForTheActiveRun) {
  for (const char* bad : {R"({"cmd":"undo"})", R"({"cmd":"undo","run":""})", R"({"cmd":"undo","run":7})",
                          R"({"cmd":"undo","run":"r","keys":"a"})", R"({"cmd":"undo","run":"r","keys":[1]})",
                          R"({"cmd":"undo","run":"r","force":"yes"})"}) {
    Handle(bad);
    EXPECT_EQ(TakePageMessages(), (Messages{Warn("Undo needs a run id, and keys as a list of texts.")})) << bad;
  }
  EXPECT_TRUE(jobs.empty());
  Handle(R"({"cmd":"undo","run":"r","keys":["a/b"],"force":true})");
  EXPECT_EQ(jobs.size(), 1u);
  EXPECT_TRUE(g_running);
  Handle(R"({"cmd":"undo","run":"r"})");
  Handle(R"({"cmd":"optimize","ids":[1]})");
  EXPECT_EQ(TakePageMessages(),
            (Messages{Warn("Already running, please wait."), Warn("Already running, please wait.")}));
  EXPECT_EQ(jobs.size(), 1u);
  Handle(R"({"cmd":"history"})");
  EXPECT_EQ(jobs.size(), 2u);
}

// A state check runs off the UI thread; requests that arrive before it ends
// are answered by it, and the next one starts a check of its own.
TEST_F(DispatcherTest, StateChecksRunOneAtATimeAndAnswerEveryRequest) {
  g_catalogue = BuildCatalogue();
  Handle(R"({"cmd":"state"})");
  Handle(R"({"cmd":"state"})");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_TRUE(TakePageMessages().empty());
  jobs[0]();
  Messages messages = TakePageMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].starts_with(R"({"type":"state","tweaks":[[0,")")) << messages[0].substr(0, 80);
  EXPECT_NE(messages[0].find(R"(],[420,")"), std::string::npos);
  Handle(R"({"cmd":"state"})");
  EXPECT_EQ(jobs.size(), 2u);
  jobs[1]();
  TakePageMessages();

  Handle(R"({"cmd":"state","id":265})");
  Handle(R"({"cmd":"state","id":"265"})");
  Handle(R"({"cmd":"state","id":999})");
  ASSERT_EQ(jobs.size(), 3u);
  jobs[2]();
  messages = TakePageMessages();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0], Warn("Malformed command: \"state\" needs an integer \"id\"."));
  EXPECT_EQ(messages[1], Warn("Unknown tweak id: 999"));
  EXPECT_TRUE(messages[2].starts_with(R"({"type":"stepstate","id":265,"state":"unknown","done":0,"total":0,)"
                                      R"("steps":[{"state":"unknown","reason":)"))
      << messages[2];
}

TEST_F(DispatcherTest, CancelRaisesTheFlagAndPostsNothing) {
  Handle(R"({"cmd":"cancel"})");
  EXPECT_TRUE(g_cancelRequested);
  EXPECT_TRUE(TakePageMessages().empty());
}

// "details", "script" and "output" read the real catalogue; the script is the very body
// a run hands to the batch runner.
TEST_F(DispatcherTest, DetailsScriptAndOutputDescribeTheTweaksByTheirInitIds) {
  g_catalogue = BuildCatalogue();
  Handle(R"({"cmd":"details"})");
  Handle(R"({"cmd":"script","id":265})");
  for (const char* bad : {R"({"cmd":"script"})", R"({"cmd":"script","id":"265"})", R"({"cmd":"script","id":2.65e2})",
                          R"({"cmd":"script","id":4294967561})", R"({"cmd":"script","id":265,"id":1})"}) {
    Handle(bad);
  }
  Handle(R"({"cmd":"script","id":421})");
  const Messages messages = TakePageMessages();
  ASSERT_EQ(messages.size(), 8u);
  EXPECT_TRUE(messages[0].starts_with(R"({"type":"details","tweaks":[{"id":0,"key":"cleanup/)")) << messages[0];
  EXPECT_NE(messages[0].find(R"({"id":420,"key":"misc/)"), std::string::npos);
  std::string ran;
  OptimizeRunWith({265}, [&ran](const char* script) {
    ran = script;
    return BatchResult{BatchOutcome::Succeeded, 0u, 0, "Hibernation \"off\"\n", 0};
  });
  TakePageMessages();
  // What the run printed, for the panel's "Вывод"; a tweak that did not run has none.
  Handle(R"({"cmd":"output","id":265})");
  Handle(R"({"cmd":"output","id":3})");
  Handle(R"({"cmd":"output","id":"3"})");
  EXPECT_EQ(TakePageMessages(), (Messages{R"({"type":"output","id":265,"text":"Hibernation \"off\"\n"})",
                                          R"({"type":"output","id":3,"text":""})",
                                          Warn("Malformed command: \"output\" needs an integer \"id\".")}));
  EXPECT_EQ(messages[1], R"({"type":"script","id":265,"text":)" + JsonQuote(ran) + "}");
  EXPECT_NE(ran.find("powercfg -h off"), std::string::npos);
  for (size_t i = 2; i < 7; ++i) {
    EXPECT_EQ(messages[i], Warn("Malformed command: \"script\" needs an integer \"id\".")) << i;
  }
  EXPECT_EQ(messages[7], Warn("Unknown tweak id: 421"));
}

// "optimize", "cancel" and "ready" from the UI thread while runs execute: the
// page may reload and click at any time. Never two runs at once, no race
// (this test is meant for the ThreadSanitizer build).
TEST(DispatcherStress, CommandsDuringRunsNeverOverlapTwoRuns) {
  g_catalogue = BuildCatalogue();
  CollectPageMessages();
  g_running = false;
  std::atomic<int> active{0};
  std::atomic<int> maxActive{0};
  std::atomic<int> runsStarted{0};
  const ScriptRunner slowScript = [&](const char*) {
    const int now = ++active;
    int seen = maxActive;
    while (now > seen && !maxActive.compare_exchange_weak(seen, now)) {
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    --active;
    return BatchResult{BatchOutcome::Succeeded, 0u, 0, "", 0};
  };
  struct Job {
    std::vector<int32_t> ids;
    const ScriptRunner* runner;
  };
  const PageCommandActions actions{[] { return BuildInitMessage(false, SystemInfo{}); },
                                   [&](std::vector<int32_t> ids, RunOptions) {
                                     ++runsStarted;
                                     auto* job = new Job{std::move(ids), &slowScript};
                                     ASSERT_TRUE(platform::StartDetachedThread(
                                         [](void* p) {
                                           std::unique_ptr<Job> owned(static_cast<Job*>(p));
                                           OptimizeRunWith(std::move(owned->ids), *owned->runner);
                                         },
                                         job));
                                   },
                                   [](std::function<void()> job) { job(); }};
  size_t delivered = 0;
  // Goes on until runs have followed one another: a slow machine may not end
  // the first run within the first 600 commands.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (int i = 0; i < 600 || (runsStarted < 3 && std::chrono::steady_clock::now() < giveUp); ++i) {
    HandlePageMessageWith(R"({"cmd":"optimize","ids":[0,1,2,3]})", actions);
    // Sent while a script runs: a cancel sent between a run's start and its
    // first script would stop it before any script, and no overlap could show.
    if (i % 7 == 0 && active > 0) HandlePageMessageWith(R"({"cmd":"cancel"})", actions);
    if (i % 5 == 0) HandlePageMessageWith(R"({"cmd":"ready"})", actions);
    delivered += TakePageMessages().size();
  }
  while (g_running) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  delivered += TakePageMessages().size();
  EXPECT_EQ(maxActive.load(), 1);
  EXPECT_GT(runsStarted.load(), 1);
  EXPECT_GT(delivered, 600u);
}

}  // namespace

// The page's export and import go through the one selection reader and
// writer: what one writes, the other reads back as the same ids; a file that
// is no selection, unknown and repeated keys are answered by name.
TEST_F(DispatcherTest, ExportAndImportCarryASelectionByKeys) {
  g_catalogue = BuildCatalogue();
  Handle(R"({"cmd":"export","ids":[265,3,0]})");
  Messages messages = TakePageMessages();
  ASSERT_EQ(messages.size(), 1u);
  const std::optional<JsonValue> exported = ParseJson(messages[0]);
  ASSERT_TRUE(exported);
  ASSERT_EQ(JsonStringMember(*exported, "type"), "export");
  const std::string file = JsonStringMember(*exported, "text").value_or("");
  EXPECT_TRUE(file.starts_with("{\"format\":\"quarnfeld-selection\",\"version\":1,\"tweaks\":[")) << messages[0];
  Handle(R"({"cmd":"import","text":)" + JsonQuote(file) + "}");
  EXPECT_EQ(TakePageMessages(), Messages{R"({"type":"import","error":"","ids":[265,3,0],"unknown":[],"repeated":[]})"});

  const std::string key0 = UpdateTweakIndex(g_catalogue)[0]->key;
  const std::string file2 =
      R"({"format":"quarnfeld-selection","version":1,"tweaks":[")" + key0 + R"(","no/such","\"",")" + key0 + R"("]})";
  struct Case {
    std::string command;
    std::string answer;
  };
  const Case cases[] = {
      {R"({"cmd":"import","text":)" + JsonQuote(file2) + "}",
       R"({"type":"import","error":"","ids":[0],"unknown":["no/such","\""],"repeated":[)" + JsonQuote(key0) + "]}"},
      {R"({"cmd":"import","text":"[]"})",
       R"({"type":"import","error":"the file is not a JSON object","ids":[],"unknown":[],"repeated":[]})"},
      {R"({"cmd":"import"})", Warn("Malformed command: \"import\" needs the file as \"text\".")},
      {R"({"cmd":"import","text":7})", Warn("Malformed command: \"import\" needs the file as \"text\".")},
      {R"({"cmd":"export","ids":[0,421]})", Warn("Unknown tweak id: 421")},
      {R"({"cmd":"export","ids":[-1]})", Warn("Unknown tweak id: -1")},
      {R"({"cmd":"export","ids":["0"]})",
       Warn("Malformed command: \"export\" needs \"ids\" as an array of whole numbers.")},
      {R"({"cmd":"export","ids":[]})",
       R"({"type":"export","text":)" + JsonQuote("{\"format\":\"quarnfeld-selection\",\"version\":1,\"tweaks\":[]}\n") +
           "}"},
  };
  for (const Case& c : cases) {
    Handle(c.command);
    EXPECT_EQ(TakePageMessages(), Messages{c.answer}) << c.command;
  }
}
