// A worker thread in the multi-threaded apartment, for the work that must not run on the
// game's thread (rendering the next tune, releasing the last one). It runs the jobs it is
// given one at a time, in order. Nobody waits for a job: the caller hands over copies of
// what the job needs, and the job owns and frees them.
//
// Start it on the game's thread when it is first needed, never from the DLL's entry point
// (under the loader lock a new thread cannot begin, and COM must not be set up). Its thread
// holds the DLL loaded while it runs, as every thread of StartThread does.
#pragma once
#include "platform/types.h"

namespace platform {

struct Worker; // opaque

// A job. `run` is true when the worker runs it in the multi-threaded apartment; false when
// the job is dropped (the worker is stopping, or its thread could not enter the apartment):
// it then only frees what it owns, and makes no COM call.
using WorkerJob = void (*)(void* param, bool run);

// Starts the worker's thread, which enters the multi-threaded apartment itself
// (CoInitializeEx(COINIT_MULTITHREADED)) and leaves it as it ends. Null when no thread could
// be made. Does not wait for the thread.
Worker* StartWorker();
// Queues a job; never waits. False, and the job is not called, when the worker is stopping
// or its queue (kWorkerQueue jobs) is full.
constexpr int kWorkerQueue = 32;
bool PostWorkerJob(Worker* worker, WorkerJob job, void* param);
// Asks the worker to end: the job it runs finishes, the jobs still queued are dropped
// (called with run = false). Waits at most `timeoutMs` for the thread's end, serving the
// messages other threads send meanwhile. True when it ended. False: it still runs (a job
// outlasted the bound); it ends by itself when its job returns, and its record is freed
// then. Either way `worker` is not to be used again.
bool StopWorker(Worker* worker, uint32_t timeoutMs);

} // namespace platform
