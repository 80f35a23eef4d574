// The simulated worker of platform/worker.h, in both thread modes: its thread is in the
// multi-threaded apartment from its start, and its jobs run only when the test says
// (sim::RunWorkerJobs), each as the worker's thread. A held worker (sim::HoldWorkers) is
// one inside a long job: it runs nothing, and a stop gives up after its bound, with the
// virtual clock moved on by it; the next RunWorkerJobs after the hold drops what the stop
// left and ends it. With sim::RunWorkersOnSleep, a thread's Sleep runs the queued jobs too.
#include <utility>

#include "platform/sim/world.h"
#include "platform/worker.h"

using namespace sim::detail;

namespace {

SimWorker* Find(platform::Worker* worker) {
    for (const auto& w : W().workers)
        if (reinterpret_cast<platform::Worker*>(w.get()) == worker) return w.get();
    return nullptr;
}

// Runs the queued jobs as the worker's thread (dropped ones with run = false), and ends a
// stopping worker once its queue is empty.
int RunJobs(SimWorker& w) {
    World& world = W();
    int ran = 0;
    const uint32_t caller = world.currentThread;
    while (!w.jobs.empty() && !world.holdWorkers) {
        const auto [job, param] = w.jobs.front();
        w.jobs.pop_front();
        world.currentThread = w.threadId;
        Record("WorkerJob " + std::to_string(w.threadId) + (w.stopping ? " dropped" : ""));
        job(param, !w.stopping);
        world.currentThread = caller;
        ++ran;
    }
    if (w.stopping && w.jobs.empty() && !w.ended && !world.holdWorkers) {
        w.ended = true;
        world.mtaThreads.erase(w.threadId);
        Record("WorkerEnd " + std::to_string(w.threadId));
    }
    return ran;
}

} // namespace

namespace sim::detail {

void RunWorkersOnSleep() {
    World& world = W();
    if (!world.workersRunOnSleep || world.workersRunning) return;
    for (const auto& w : world.workers)
        if (w->threadId == world.currentThread) return; // a job's own sleep
    world.workersRunning = true;
    for (const auto& w : world.workers)
        if (!w->ended) RunJobs(*w);
    world.workersRunning = false;
}

} // namespace sim::detail

namespace platform {

Worker* StartWorker() {
    SIM_LOCK();
    World& w = W();
    ++w.threadsStarted;
    auto worker = std::make_unique<SimWorker>();
    worker->threadId = 2000u + static_cast<uint32_t>(w.threadsStarted);
    Record("StartWorker " + std::to_string(worker->threadId));
    w.mtaThreads.insert(worker->threadId);
    w.workers.push_back(std::move(worker));
    return reinterpret_cast<Worker*>(w.workers.back().get());
}

bool PostWorkerJob(Worker* worker, WorkerJob job, void* param) {
    SIM_LOCK();
    SimWorker* w = Find(worker);
    if (!w || w->ended) {
        Error("PostWorkerJob on a worker that is not running");
        return false;
    }
    const bool queued = job && !w->stopping && w->jobs.size() < kWorkerQueue;
    Record(std::string("PostWorkerJob") + (queued ? "" : " refused"));
    if (queued) w->jobs.emplace_back(job, param);
    return queued;
}

bool StopWorker(Worker* worker, uint32_t timeoutMs) {
    SIM_LOCK();
    SimWorker* w = Find(worker);
    if (!w || w->stopping) {
        Error("StopWorker on a worker that is stopped or unknown");
        return true;
    }
    w->stopping = true;
    RunJobs(*w);
    if (!w->ended) { // held: the bounded wait serves sent messages until its end
        ++W().sentMessageServes[CurrentThread()];
        W().tick += timeoutMs;
        W().advanced += timeoutMs;
    }
    Record("StopWorker " + std::to_string(timeoutMs) + (w->ended ? " ended" : " still running"));
    return w->ended;
}

} // namespace platform

namespace sim {

int RunWorkerJobs() {
    SIM_LOCK();
    int ran = 0;
    for (const auto& w : W().workers)
        if (!w->ended) ran += RunJobs(*w);
    return ran;
}

void HoldWorkers(bool hold) {
    SIM_LOCK();
    W().holdWorkers = hold;
}

void RunWorkersOnSleep(bool on) {
    SIM_LOCK();
    W().workersRunOnSleep = on;
}

int WorkersRunning() {
    SIM_LOCK();
    int n = 0;
    for (const auto& w : W().workers)
        n += w->ended ? 0 : 1;
    return n;
}

int WorkerJobsQueued() {
    SIM_LOCK();
    int n = 0;
    for (const auto& w : W().workers)
        n += static_cast<int>(w->jobs.size());
    return n;
}

void SetGraphFreeThreaded(bool on) {
    SIM_LOCK();
    W().graphFreeThreaded = on;
}

} // namespace sim
