// The worker thread in the multi-threaded apartment on Windows: a queue under a critical
// section, an auto-reset event that wakes the thread, and a record shared by the thread and
// its owner until both have let it go (a stop that gives up before the thread ends must not
// free what the thread still uses).
#include <windows.h>
#include <objbase.h>

#include <new>

#include "platform/system.h"
#include "platform/worker.h"

namespace platform {

struct Worker {
    CRITICAL_SECTION lock;
    HANDLE wake = nullptr;   // auto-reset: a job or the stop is there
    HANDLE thread = nullptr; // the owner's handle
    struct Item {
        WorkerJob job;
        void* param;
    } queue[kWorkerQueue] = {};
    int head = 0, count = 0;
    bool stopping = false;
    LONG holders = 2; // the owner and the thread
};

namespace {

void LetGo(Worker* w) {
    if (::InterlockedDecrement(&w->holders) != 0) return;
    ::DeleteCriticalSection(&w->lock);
    ::CloseHandle(w->wake);
    delete w;
}

// The next job, or none when the worker is to end. `run` false: the job is dropped.
bool TakeJob(Worker* w, Worker::Item* item, bool* run) {
    ::EnterCriticalSection(&w->lock);
    const bool any = w->count > 0;
    if (any) {
        *item = w->queue[w->head];
        w->head = (w->head + 1) % kWorkerQueue;
        --w->count;
        *run = !w->stopping;
    }
    const bool stopping = w->stopping;
    ::LeaveCriticalSection(&w->lock);
    return any || !stopping;
}

uint32_t WorkerMain(void* param) {
    auto* w = static_cast<Worker*>(param);
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const bool inApartment = SUCCEEDED(com);
    for (;;) {
        Worker::Item item{};
        bool run = false;
        if (!TakeJob(w, &item, &run)) break;
        if (item.job)
            item.job(item.param, run && inApartment);
        else
            ::WaitForSingleObject(w->wake, INFINITE);
    }
    if (inApartment) ::CoUninitialize();
    LetGo(w);
    return 0;
}

} // namespace

Worker* StartWorker() {
    auto* w = new (std::nothrow) Worker;
    if (!w) return nullptr;
    ::InitializeCriticalSection(&w->lock);
    w->wake = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (w->wake) w->thread = StartThread(WorkerMain, w);
    if (!w->thread) {
        if (w->wake) ::CloseHandle(w->wake);
        ::DeleteCriticalSection(&w->lock);
        delete w;
        return nullptr;
    }
    return w;
}

bool PostWorkerJob(Worker* w, WorkerJob job, void* param) {
    if (!w || !job) return false;
    ::EnterCriticalSection(&w->lock);
    const bool queued = !w->stopping && w->count < kWorkerQueue;
    if (queued) {
        w->queue[(w->head + w->count) % kWorkerQueue] = {job, param};
        ++w->count;
    }
    ::LeaveCriticalSection(&w->lock);
    if (queued) ::SetEvent(w->wake);
    return queued;
}

bool StopWorker(Worker* w, uint32_t timeoutMs) {
    if (!w) return true;
    ::EnterCriticalSection(&w->lock);
    w->stopping = true;
    ::LeaveCriticalSection(&w->lock);
    ::SetEvent(w->wake);
    // A bounded wait that lets the window procedures of this thread answer other threads'
    // sent messages, and takes no posted message.
    const DWORD start = ::GetTickCount();
    bool ended = false;
    for (;;) {
        const DWORD spent = ::GetTickCount() - start;
        if (spent >= timeoutMs) break;
        const DWORD r =
            ::MsgWaitForMultipleObjects(1, &w->thread, FALSE, timeoutMs - spent, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0) {
            ended = true;
            break;
        }
        if (r != WAIT_OBJECT_0 + 1) break; // timed out or failed
        MSG msg;
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    ::CloseHandle(w->thread);
    w->thread = nullptr;
    LetGo(w);
    return ended;
}

} // namespace platform
