// The worker in the multi-threaded apartment (platform/worker.h) and the apartments of the
// simulated platform: which thread may call which graph, and how a stop ends the worker.
#include <string>
#include <vector>

#include "fixture.h"
#include "platform/media.h"
#include "platform/system.h"
#include "platform/worker.h"

namespace {

using ::testing::IsEmpty;
using ::testing::Not;

constexpr uint32_t kGame = sim::kHostThreadId;
constexpr uint32_t kOtherSta = 1500; // a thread with a single-threaded apartment of its own
constexpr uint32_t kNoCom = 1600;    // a thread that never set up COM
constexpr uint32_t kWorker = 0;      // the worker's thread, whatever its id

class WorkerApartments : public SimTest {};

platform::ComPtr made = nullptr;

void MakeGraph(void*, bool run) {
    if (run) platform::CreateFilterGraph(&made);
}

// Runs `call` as `thread`: the worker's through a job, another by switching the sim's thread.
void As(platform::Worker* worker, uint32_t thread, platform::WorkerJob call) {
    if (thread == kWorker) {
        platform::PostWorkerJob(worker, call, nullptr);
        sim::RunWorkerJobs();
        return;
    }
    sim::SetCurrentThreadId(thread);
    if (thread == kOtherSta) platform::CoInitialize();
    call(nullptr, true);
    sim::SetCurrentThreadId(kGame);
}

void RunAndGiveBack(void*, bool) {
    platform::ComPtr control = nullptr;
    platform::QueryGraphInterface(made, platform::GraphInterface::MediaControl, &control);
    platform::Run(control);
    platform::Release(control);
}

void GiveGraphBack(void*, bool) {
    platform::Release(made);
}

TEST_F(WorkerApartments, AGraphIsCalledOnlyFromItsApartmentUnlessItIsFreeThreaded) {
    const struct {
        uint32_t maker, caller;
        bool freeThreaded, unsound;
    } rows[] = {
        {kGame, kGame, false, false},      {kGame, kWorker, false, true},
        {kGame, kOtherSta, false, true},   {kGame, kNoCom, false, true},
        {kWorker, kWorker, false, false},  {kWorker, kGame, false, true},
        {kWorker, kOtherSta, false, true}, {kWorker, kNoCom, false, false},
        {kWorker, kGame, true, false},     {kGame, kWorker, true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "made by " << row.maker << ", called by " << row.caller
                                        << ", free-threaded " << row.freeThreaded);
        sim::Reset();
        sim::SetGraphFreeThreaded(row.freeThreaded);
        made = nullptr;
        platform::CoInitialize();
        platform::Worker* worker = platform::StartWorker();
        ASSERT_NE(worker, nullptr);
        As(worker, row.maker, MakeGraph);
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(sim::LastGraph().madeInMta, row.maker == kWorker);

        As(worker, row.caller, RunAndGiveBack);
        if (row.unsound) {
            EXPECT_THAT(sim::Errors(), Not(IsEmpty()));
            sim::ClearErrors();
        }
        EXPECT_THAT(sim::Errors(), IsEmpty()) << sim::LogText();
        EXPECT_EQ(sim::LastGraph().state, sim::GraphState::Running); // the call was made

        As(worker, row.maker, GiveGraphBack);
        EXPECT_TRUE(platform::StopWorker(worker, 2000));
        EXPECT_EQ(sim::LiveComObjects(), 0);
        EXPECT_THAT(sim::Errors(), IsEmpty()) << sim::LogText();
    }
}

// Each job notes the thread it ran on and whether it ran or was dropped.
std::vector<std::string> jobsSeen;
void NoteJob(void*, bool run) {
    jobsSeen.push_back(std::to_string(platform::GetCurrentThreadId()) +
                       (run ? " run" : " dropped"));
}

TEST_F(WorkerApartments, AStopDropsWhatIsQueuedAndGivesUpAfterItsBound) {
    const struct {
        int jobs;
        bool runFirst, held;
        bool ended;
        std::vector<std::string> seen; // before any later run after the hold
        uint32_t waitedMs;
    } rows[] = {
        {2, true, false, true, {"2001 run", "2001 run"}, 0},
        {2, false, false, true, {"2001 dropped", "2001 dropped"}, 0},
        {2, false, true, false, {}, 2000},
        {platform::kWorkerQueue, false, false, true,
         std::vector<std::string>(platform::kWorkerQueue, "2001 dropped"), 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << row.jobs << " jobs, run first " << row.runFirst << ", held " << row.held);
        sim::Reset();
        jobsSeen.clear();
        platform::Worker* worker = platform::StartWorker();
        for (int i = 0; i < row.jobs; ++i)
            EXPECT_TRUE(platform::PostWorkerJob(worker, NoteJob, nullptr));
        if (row.jobs == platform::kWorkerQueue) { // a full queue refuses
            EXPECT_FALSE(platform::PostWorkerJob(worker, NoteJob, nullptr));
        }
        if (row.runFirst) sim::RunWorkerJobs();
        sim::HoldWorkers(row.held);
        const uint32_t before = sim::Now();
        EXPECT_EQ(platform::StopWorker(worker, 2000), row.ended);
        EXPECT_EQ(sim::Now() - before, row.waitedMs);
        EXPECT_EQ(jobsSeen, row.seen);
        EXPECT_EQ(sim::SentMessageServes(kGame), row.ended ? 0 : 1);
        // A worker left running ends by itself once its long job returns.
        sim::HoldWorkers(false);
        sim::RunWorkerJobs();
        EXPECT_EQ(sim::WorkersRunning(), 0);
        EXPECT_EQ(sim::WorkerJobsQueued(), 0);
    }
}

} // namespace
