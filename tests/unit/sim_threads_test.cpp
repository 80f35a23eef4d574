// The simulated platform with real threads: what the module's two threads rely on when
// they run side by side. These tests also run under ThreadSanitizer (the tsan preset).
#include <atomic>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fixture.h"
#include "platform/media.h"
#include "platform/system.h"
#include "platform/window.h"

namespace {

using ::testing::ElementsAre;

class SimThreads : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        sim::SetRealThreads(true);
    }
    void TearDown() override {
        sim::JoinThreads();
        SimTest::TearDown();
    }
};

// Waits in virtual-time sleeps until `done` holds.
template <typename Done> void SleepUntil(Done done) {
    while (!done())
        platform::Sleep(5);
}

uint32_t PostThree(void*) {
    for (uintptr_t i = 1; i <= 3; ++i)
        platform::PostToWindow(sim::kGameWindow, 0xC123, i, 0);
    return 0;
}

TEST_F(SimThreads, StartedThreadRunsBesideTheCallerWithItsOwnId) {
    // The worker waits for a go that only the test's thread gives, while it runs.
    static std::atomic<int> go{0};
    static std::atomic<uint32_t> workerId{0};
    go = 0;
    workerId = 0;
    platform::Handle worker = platform::StartThread(
        [](void*) -> uint32_t {
            workerId = platform::GetCurrentThreadId();
            SleepUntil([] { return go.load() != 0; });
            return 0;
        },
        nullptr);
    ASSERT_NE(worker, nullptr);
    SleepUntil([] { return workerId.load() != 0; });
    EXPECT_EQ(sim::ThreadsRunning(), 1);
    go = 1;
    sim::JoinThreads();
    EXPECT_EQ(sim::ThreadsRunning(), 0);
    EXPECT_EQ(workerId.load(), 2001u);
    EXPECT_EQ(platform::GetCurrentThreadId(), sim::kHostThreadId);
    platform::CloseObject(worker);
}

std::vector<std::pair<uintptr_t, uint32_t>> Hooked; // wParam, thread

intptr_t RecordingHook(int code, uintptr_t wParam, intptr_t lParam) {
    const platform::HookMessage m = platform::ReadHookMessage(lParam);
    Hooked.emplace_back(m.wParam, platform::GetCurrentThreadId());
    return platform::CallNextHook(nullptr, code, wParam, lParam);
}

TEST_F(SimThreads, MessagesPostedFromAThreadArriveInOrder) {
    Hooked.clear();
    platform::CloseObject(platform::StartThread(PostThree, nullptr));
    sim::JoinThreads();
    const std::vector<sim::PostedMessage> posted = sim::PostedMessages();
    ASSERT_EQ(posted.size(), 3u);
    EXPECT_EQ(posted[2].window, sim::kGameWindow);
    EXPECT_EQ(posted[2].message, 0xC123u);
    EXPECT_EQ(posted[2].thread, 2001u);
    // The first taken by the test, the others handed to the game thread's hook.
    platform::HookMessage first{};
    ASSERT_TRUE(sim::TakePostedMessage(&first));
    EXPECT_EQ(first.wParam, 1u);
    platform::Handle hook =
        platform::InstallMessageHook(RecordingHook, nullptr, sim::kHostThreadId);
    EXPECT_EQ(sim::DeliverPostedMessages(), 2);
    EXPECT_THAT(Hooked, ElementsAre(std::pair<uintptr_t, uint32_t>{2u, sim::kHostThreadId},
                                    std::pair<uintptr_t, uint32_t>{3u, sim::kHostThreadId}));
    platform::HookMessage none{};
    EXPECT_FALSE(sim::TakePostedMessage(&none));
    platform::RemoveMessageHook(hook);
}

TEST_F(SimThreads, RegisteredMessagesAndFailedPosts) {
    const uint32_t first = platform::RegisterMessage("OrvalinFreezeCheck");
    EXPECT_GE(first, 0xC000u);
    EXPECT_EQ(platform::RegisterMessage("orvalinfreezecheck"), first);
    EXPECT_NE(platform::RegisterMessage("OrvalinFreezeCheck2"), first);
    EXPECT_EQ(platform::RegisterMessage(""), 0u);
    sim::FailPostMessage(true);
    EXPECT_FALSE(platform::PostToWindow(sim::kGameWindow, first, 0, 0));
    EXPECT_TRUE(sim::PostedMessages().empty());
}

TEST_F(SimThreads, HeldBoxBlocksOnlyTheThreadThatShowedIt) {
    // The game's thread goes on (it sleeps and serves sent messages) while the worker's
    // box is open, and the box takes the answer queued while it was open.
    static std::atomic<int> answer{0};
    answer = 0;
    sim::HoldBoxes(true);
    platform::CloseObject(platform::StartThread(
        [](void*) -> uint32_t {
            answer = platform::ShowMessageBox(nullptr, "Paused", "Box", platform::kMbYesNo);
            return 0;
        },
        nullptr));
    SleepUntil([] { return sim::BoxesOpen() == 1; });
    for (int i = 0; i < 3; ++i) {
        platform::ServeSentMessages();
        platform::Sleep(10);
    }
    EXPECT_EQ(sim::SentMessageServes(sim::kHostThreadId), 3);
    EXPECT_EQ(answer.load(), 0);
    EXPECT_EQ(sim::ThreadsRunning(), 1);
    sim::AnswerBoxes({platform::kIdNo});
    sim::ReleaseBoxes();
    sim::JoinThreads();
    EXPECT_EQ(answer.load(), platform::kIdNo);
    EXPECT_EQ(sim::BoxesOpen(), 0);
    ASSERT_EQ(sim::Boxes().size(), 1u);
    EXPECT_EQ(sim::Boxes()[0].thread, 2001u);
    EXPECT_EQ(sim::Boxes()[0].flags, platform::kMbYesNo);
}

TEST_F(SimThreads, ResetLetsHeldBoxesGoAndJoinsTheirThreads) {
    sim::HoldBoxes(true);
    platform::CloseObject(platform::StartThread(
        [](void*) -> uint32_t {
            platform::ShowMessageBox(nullptr, "Paused", "Box", platform::kMbOk);
            return 0;
        },
        nullptr));
    SleepUntil([] { return sim::BoxesOpen() == 1; });
    sim::Reset();
    EXPECT_EQ(sim::ThreadsRunning(), 0);
    EXPECT_EQ(sim::BoxesOpen(), 0);
    // Cooperative again: a new thread waits for the caller to sleep.
    platform::CloseObject(platform::StartThread([](void*) -> uint32_t { return 0; }, nullptr));
    EXPECT_EQ(sim::ThreadsPending(), 1);
    sim::RunThreads();
}

// What Windows orders between two threads stays ordered under ThreadSanitizer: a plain
// variable handed over by a thread's start or by a posted message is no race. (Sleeps and
// other platform calls order nothing: see the world's lock.)
int Handed = 0;

struct OrderCase {
    const char* name;
    bool byPost; // the worker writes and posts; else the starter writes before the start
    friend std::ostream& operator<<(std::ostream& os, const OrderCase& c) { return os << c.name; }
};

class SimThreadsOrder : public SimThreads, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(SimThreadsOrder, HandOverIsNoRace) {
    static std::atomic<int> seen{0};
    seen = 0;
    Handed = 1;
    platform::CloseObject(platform::StartThread(
        [](void* byPost) -> uint32_t {
            if (!byPost) {
                seen = Handed;
                return 0;
            }
            Handed = 2;
            platform::PostToWindow(sim::kGameWindow, 0xC124, 0, 0);
            return 0;
        },
        GetParam().byPost ? &seen : nullptr));
    if (GetParam().byPost) {
        platform::HookMessage m{};
        SleepUntil([&m] { return sim::TakePostedMessage(&m); });
        seen = Handed;
    }
    sim::JoinThreads();
    EXPECT_EQ(seen.load(), GetParam().byPost ? 2 : 1);
}

INSTANTIATE_TEST_SUITE_P(Table, SimThreadsOrder,
                         ::testing::Values(OrderCase{"ThreadStart", false},
                                           OrderCase{"PostedMessage", true}),
                         [](const auto& param) { return std::string(param.param.name); });

struct ComCase {
    const char* name;
    bool initOnWorker;    // the worker calls CoInitialize first
    platform::HResult hr; // what its CreateFilterGraph answers
    friend std::ostream& operator<<(std::ostream& os, const ComCase& c) { return os << c.name; }
};

class SimThreadsCom : public SimThreads, public ::testing::WithParamInterface<ComCase> {};

// COM is per thread, and each graph call is put down to the thread that made it.
TEST_P(SimThreadsCom, GraphsNeedComOnTheCallingThread) {
    static std::atomic<platform::HResult> created{0};
    created = 12345;
    ASSERT_EQ(platform::CoInitialize(), platform::kSOk); // the game's thread
    platform::ComPtr graph = nullptr;
    ASSERT_EQ(platform::CreateFilterGraph(&graph), platform::kSOk);
    platform::CloseObject(platform::StartThread(
        [](void* init) -> uint32_t {
            if (init) platform::CoInitialize();
            platform::ComPtr own = nullptr;
            created = platform::CreateFilterGraph(&own);
            if (own) platform::Release(own);
            if (init) platform::CoUninitialize();
            return 0;
        },
        GetParam().initOnWorker ? &created : nullptr));
    sim::JoinThreads();
    EXPECT_EQ(created.load(), GetParam().hr);
    EXPECT_EQ(sim::ComInitCount(sim::kHostThreadId), 1);
    EXPECT_EQ(sim::ComInitCount(2001), 0);
    EXPECT_EQ(sim::GraphCallThreads(), (std::set<uint32_t>{sim::kHostThreadId, 2001u}));
    platform::Release(graph);
    platform::CoUninitialize();
}

INSTANTIATE_TEST_SUITE_P(Table, SimThreadsCom,
                         ::testing::Values(ComCase{"WithoutCoInitialize", false,
                                                   static_cast<platform::HResult>(0x800401F0u)},
                                           ComCase{"WithCoInitialize", true, platform::kSOk}),
                         [](const auto& param) { return std::string(param.param.name); });

} // namespace
