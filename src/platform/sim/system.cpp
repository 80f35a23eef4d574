// Simulated kernel, runtime and multimedia services: a virtual clock, the C runtime's
// generator, recorded threads, tracked memory, code page 1252 or 932, COM start-up and a
// settable process list.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/code_pages.h"
#include "platform/sim/world.h"
#include "platform/system.h"

using namespace sim::detail;

namespace {
// A wait loop that never ends would hang the test run: stop it loudly instead.
constexpr uint32_t kRunawayMs = 6u * 3600u * 1000u;

void Advance(uint32_t ms) {
    World& w = W();
    w.tick += ms;
    w.advanced += ms;
    if (w.advanced > kRunawayMs) {
        std::fputs("sim: more than six hours of virtual time passed; a wait never ends\n", stderr);
        std::abort();
    }
}
} // namespace

namespace platform {

uint32_t GetTickCount() {
    SIM_LOCK();
    return W().tick;
}

// Sleep and Beep block the caller: the virtual clock moves on under the lock; then,
// with real threads, the others run for a moment of real time while this one holds
// nothing.
void Sleep(uint32_t ms) {
    bool real = false;
    {
        SIM_LOCK();
        Record("Sleep " + std::to_string(ms));
        Advance(ms);
        real = W().realThreads;
        if (!real && W().runThreadsOnSleep) RunPendingThreads();
        RunWorkersOnSleep();
    }
    if (real) YieldRealTime("Sleep");
}

void Beep(uint32_t frequencyHz, uint32_t durationMs) {
    bool real = false;
    {
        SIM_LOCK();
        Record("Beep " + std::to_string(frequencyHz) + " " + std::to_string(durationMs));
        W().beeps.emplace_back(frequencyHz, durationMs);
        Advance(durationMs);
        real = W().realThreads;
    }
    if (real) YieldRealTime("Beep");
}

void SeedRandom(uint32_t seed) {
    SIM_LOCK();
    Record("srand " + std::to_string(seed));
    W().randState = seed;
    ++W().seedCalls;
}

int NextRandom() {
    SIM_LOCK();
    World& w = W();
    w.randState = w.randState * 214013u + 2531011u;
    const int r = static_cast<int>((w.randState >> 16) & 0x7FFFu);
    Record("rand " + std::to_string(r));
    return r;
}

uint32_t GetCurrentThreadId() {
    SIM_LOCK();
    return CurrentThread();
}

void CloseObject(Handle h) {
    SIM_LOCK();
    if (!h) {
        Record("CloseHandle null");
        W().lastError = 6; // ERROR_INVALID_HANDLE
        return;
    }
    for (const auto& object : W().kernelObjects) {
        if (object.get() != h) continue;
        static const char* const kNames[] = {"thread", "file", "search", "snapshot", "hook"};
        Record(std::string("CloseHandle ") + kNames[static_cast<int>(object->kind)]);
        if (!object->open)
            Error("CloseHandle on a closed handle");
        else if (object->kind == KernelObject::Kind::Search)
            Error("CloseHandle on a search handle (FindClose closes those)");
        else if (object->kind == KernelObject::Kind::Hook)
            Error("CloseHandle on a hook handle");
        else
            object->open = false;
        return;
    }
    Record("CloseHandle ?");
    Error("CloseHandle on an unknown handle");
}

Handle StartThread(ThreadProc proc, void* param) {
    Order(&ThreadStartOrder); // everything so far happens before the thread runs
    SIM_LOCK();
    World& w = W();
    ++w.threadsStarted;
    const uint32_t id = 2000u + static_cast<uint32_t>(w.threadsStarted);
    Record("CreateThread " + std::to_string(id));
    if (w.realThreads)
        StartRealThread(proc, param, id);
    else
        w.pendingThreads.push_back({proc, param, id});
    KernelObject* thread = NewKernelObject(KernelObject::Kind::Thread);
    thread->threadId = id;
    return thread;
}

bool PlaySoundFile(const char* name, unsigned flags) {
    SIM_LOCK();
    Record(std::string("PlaySound ") + (name ? name : "null") + " " + sim::detail::Hex(flags));
    W().sounds.emplace_back(name ? name : "", flags);
    return true;
}

namespace {
void* Allocate(size_t bytes, bool zeroed) {
    World& w = W();
    Record("LocalAlloc " + std::to_string(bytes));
    if (w.failAllocationIn == 0) {
        w.failAllocationIn = -1;
        w.lastError = 8; // ERROR_NOT_ENOUGH_MEMORY
        return nullptr;
    }
    if (w.failAllocationIn > 0) --w.failAllocationIn;
    void* block =
        zeroed ? std::calloc(bytes == 0 ? 1 : bytes, 1) : std::malloc(bytes == 0 ? 1 : bytes);
#ifndef NDEBUG
    // What the caller did not write must not read as zeros in the tests.
    if (block && !zeroed) std::memset(block, 0xA5, bytes);
#endif
    w.allocations[block] = bytes;
    return block;
}
} // namespace

void* AllocZeroed(size_t bytes) {
    SIM_LOCK();
    return Allocate(bytes, true);
}

void* Alloc(size_t bytes) {
    SIM_LOCK();
    return Allocate(bytes, false);
}

void FreeMemory(void* block) {
    SIM_LOCK();
    Record("LocalFree");
    if (!block) return;
    auto it = W().allocations.find(block);
    if (it == W().allocations.end()) {
        Error("LocalFree of a block that is not allocated");
        return;
    }
    W().allocations.erase(it);
    std::free(block);
}

bool IsDbcsLeadByte(uint8_t byte) {
    SIM_LOCK();
    return LeadByteIn(W().chosenCodePage != 0 ? W().chosenCodePage
                      : W().codePage932       ? 932
                                              : 1252,
                      byte);
}

void UseCodePage(uint32_t codePage) {
    SIM_LOCK();
    Record("UseCodePage " + std::to_string(codePage));
    W().chosenCodePage = codePage;
}

int AnsiToWide(const char* text, char16_t* out, int outChars) {
    SIM_LOCK();
    const int needed = static_cast<int>(std::strlen(text)) + 1;
    if (outChars <= 0) return 0;
    const int n = needed <= outChars ? needed : outChars - 1;
    for (int i = 0; i < n; ++i)
        out[i] = static_cast<char16_t>(static_cast<uint8_t>(text[i]));
    if (needed > outChars) {
        out[outChars - 1] = u'\0';
        W().lastError = sim::kErrorInsufficientBuffer;
        return 0;
    }
    return needed;
}

// COM is set up per thread: each thread balances its own CoInitialize calls.
HResult CoInitialize() {
    SIM_LOCK();
    World& w = W();
    const uint32_t thread = CurrentThread();
    int& inits = w.comInits[thread];
    const HResult hr = Scripted(sim::Op::CoInitialize, inits > 0 ? kSFalse : kSOk);
    Record("CoInitialize " + sim::detail::Hex(static_cast<uint32_t>(hr)));
    if (hr == kSOk || hr == kSFalse) ++inits;
    if (hr == kRpcChangedMode) w.comOtherMode.insert(thread);
    return hr;
}

void CoUninitialize() {
    SIM_LOCK();
    Record("CoUninitialize");
    int& inits = W().comInits[CurrentThread()];
    if (inits == 0)
        Error("CoUninitialize without a successful CoInitialize on this thread");
    else
        --inits;
}

Handle CreateProcessSnapshot() {
    SIM_LOCK();
    Record("CreateToolhelp32Snapshot");
    if (W().failSnapshot) return nullptr;
    KernelObject* snapshot = NewKernelObject(KernelObject::Kind::Snapshot);
    snapshot->names = W().processes;
    return snapshot;
}

namespace {
bool NextProcessName(Handle snapshot, char (&exeName)[kMaxPath], bool first, const char* call) {
    KernelObject* s = UseKernelObject(snapshot, KernelObject::Kind::Snapshot, call);
    Record(call);
    if (!s) return false;
    if (first) s->index = 0;
    if (s->index >= s->names.size()) {
        W().lastError = kErrorNoMoreFiles;
        return false;
    }
    const std::string& name = s->names[s->index++];
    std::strncpy(exeName, name.c_str(), kMaxPath - 1);
    exeName[kMaxPath - 1] = '\0';
    return true;
}
} // namespace

bool FirstProcess(Handle snapshot, char (&exeName)[kMaxPath]) {
    SIM_LOCK();
    return NextProcessName(snapshot, exeName, true, "Process32First");
}

bool NextProcess(Handle snapshot, char (&exeName)[kMaxPath]) {
    SIM_LOCK();
    return NextProcessName(snapshot, exeName, false, "Process32Next");
}

uint32_t GetCurrentDir(char* buffer, uint32_t size) {
    SIM_LOCK();
    Record("GetCurrentDirectory");
    const std::string& dir = W().currentDir;
    const auto length = static_cast<uint32_t>(dir.size());
    if (length + 1 > size) return length + 1; // the size needed; nothing copied
    std::memcpy(buffer, dir.c_str(), length + 1);
    return length;
}

bool SetCurrentDir(const char* path) {
    SIM_LOCK();
    Record(std::string("SetCurrentDirectory ") + path);
    const std::string full = FullPath(path);
    if (!FolderExists(full)) {
        constexpr uint32_t kErrorDirectory = 267; // the name is a file's
        W().lastError = FindEntry(full)                ? kErrorDirectory
                        : FolderExists(ParentOf(full)) ? kErrorFileNotFound
                                                       : kErrorPathNotFound;
        return false;
    }
    W().currentDir = full;
    return true;
}

uint32_t GetHostProgramPath(char* buffer, uint32_t size) {
    SIM_LOCK();
    Record("GetModuleFileName");
    if (size == 0) return 0;
    const std::string& path = W().programPath;
    const uint32_t n =
        static_cast<uint32_t>(path.size()) < size ? static_cast<uint32_t>(path.size()) : size - 1;
    std::memcpy(buffer, path.c_str(), n);
    buffer[n] = '\0';
    if (n < path.size()) {
        W().lastError = sim::kErrorInsufficientBuffer;
        return size;
    }
    return n;
}

} // namespace platform
