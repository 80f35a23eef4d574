#include "measure.h"

#include "log.h"

#include <dshow.h>

#include <cstring>
#include <map>
#include <utility>

namespace host {

namespace {

// The bare graph: the graph manager and the four interfaces the plug-in holds.
struct BareGraph {
    IGraphBuilder* builder = nullptr;
    IMediaControl* control = nullptr;
    IMediaEventEx* events = nullptr;
    IMediaPosition* position = nullptr;
    IBasicAudio* audio = nullptr;
};
BareGraph g_bare;
bool g_com = false;

template <typename T> void release(T*& p) {
    if (p != nullptr) {
        p->Release();
        p = nullptr;
    }
}

// In the order the plug-in gives its graph back.
void release_bare() {
    release(g_bare.audio);
    release(g_bare.position);
    if (g_bare.events != nullptr) {
        g_bare.events->SetNotifyWindow(0, 0, 0);
        release(g_bare.events);
    }
    release(g_bare.control);
    release(g_bare.builder);
}

// How long each step of the last bare play took, in microseconds (`steps=` of its line).
struct BareSteps {
    long long release = 0, create = 0, query = 0, render = 0, run = 0, wait = 0;
};
BareSteps g_steps;

long long counter_us() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return now.QuadPart * 1000000LL / frequency.QuadPart;
}

// The time since `since` goes to `step`; returns now.
long long lap(long long& step, long long since) {
    const long long now = counter_us();
    step += now - since;
    return now;
}

// The plug-in's start: create, query, render, run and wait. The first failing status, or
// Run's.
HRESULT start_bare(const char* name) {
    g_steps = BareSteps{};
    long long t = counter_us();
    release_bare();
    t = lap(g_steps.release, t);
    HRESULT hr =
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                         IID_IGraphBuilder, reinterpret_cast<void**>(&g_bare.builder));
    t = lap(g_steps.create, t);
    if (FAILED(hr)) return hr;
    const struct {
        const IID* iid;
        void** out;
    } queries[] = {
        {&IID_IMediaControl, reinterpret_cast<void**>(&g_bare.control)},
        {&IID_IMediaEventEx, reinterpret_cast<void**>(&g_bare.events)},
        {&IID_IMediaPosition, reinterpret_cast<void**>(&g_bare.position)},
        {&IID_IBasicAudio, reinterpret_cast<void**>(&g_bare.audio)},
    };
    for (const auto& q : queries) {
        hr = g_bare.builder->QueryInterface(*q.iid, q.out);
        if (FAILED(hr)) return hr;
    }
    t = lap(g_steps.query, t);
    WCHAR wide[256] = {};
    if (MultiByteToWideChar(CP_ACP, 0, name, -1, wide, 256) == 0) wide[255] = L'\0';
    hr = g_bare.builder->RenderFile(wide, nullptr);
    t = lap(g_steps.render, t);
    if (FAILED(hr)) return hr;
    hr = g_bare.control->Run();
    t = lap(g_steps.run, t);
    if (hr == S_FALSE) {
        const DWORD start = GetTickCount();
        OAFilterState state = 0;
        while (g_bare.control->GetState(250, &state) == VFW_S_STATE_INTERMEDIATE) {
            if (GetTickCount() > start + 5000u) {
                log_event("error bareplay: still in transition after 5 s");
                break;
            }
        }
        lap(g_steps.wait, t);
    }
    return hr;
}

std::string steps_field() {
    const BareSteps& s = g_steps;
    std::string out = "steps=";
    const std::pair<const char*, long long> steps[] = {{"release", s.release}, {"create", s.create},
                                                       {"query", s.query},     {"render", s.render},
                                                       {"run", s.run},         {"wait", s.wait}};
    for (const auto& [name, us] : steps)
        out += std::string(out.size() > 6 ? "," : "") + name + ":" + std::to_string(us);
    return out;
}

// Committed private memory, region by region (what Windows counts as private bytes; Wine
// reports no private usage through GetProcessMemoryInfo).
unsigned long long committed_private_bytes() {
    unsigned long long total = 0;
    MEMORY_BASIC_INFORMATION info;
    const char* at = nullptr;
    while (VirtualQuery(at, &info, sizeof info) == sizeof info) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
        const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return total;
}

FARPROC ntdll_function(const char* name) {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr ? GetProcAddress(ntdll, name) : nullptr;
}

// The kind of object a handle of this process refers to ("Event", "Thread"...).
std::string handle_type(HANDLE handle) {
    using Query = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    auto query =
        reinterpret_cast<Query>(reinterpret_cast<void (*)()>(ntdll_function("NtQueryObject")));
    constexpr ULONG kObjectTypeInformation = 2;
    struct TypeName { // the start of OBJECT_TYPE_INFORMATION: a UNICODE_STRING
        USHORT length;
        USHORT maximum;
        PWSTR text;
    };
    alignas(8) char buffer[1024];
    ULONG got = 0;
    if (query == nullptr || query(handle, kObjectTypeInformation, buffer, sizeof buffer, &got) < 0)
        return "?";
    TypeName name;
    std::memcpy(&name, buffer, sizeof name);
    std::string out;
    for (USHORT i = 0; name.text != nullptr && i < name.length / 2; ++i)
        out += static_cast<char>(name.text[i] < 128 ? name.text[i] : '?');
    return out.empty() ? "?" : out;
}

// This process's entries in the system's handle table, from
// NtQuerySystemInformation(SystemHandleInformation) (Wine's GetProcessHandleCount gives 0),
// counted by kind. -1 if the table can't be read.
long long handle_table_count(std::map<std::string, int>& kinds) {
    struct Entry {
        ULONG owner;
        BYTE type;
        BYTE flags;
        USHORT value;
        PVOID object;
        ULONG access;
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void (*)()>(ntdll_function("NtQuerySystemInformation")));
    if (query == nullptr) return -1;
    constexpr ULONG kSystemHandleInformation = 16;
    constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004L);
    std::string buffer(1 << 16, '\0');
    for (;;) {
        ULONG needed = 0;
        const LONG rc = query(kSystemHandleInformation, buffer.data(),
                              static_cast<ULONG>(buffer.size()), &needed);
        if (rc == kInfoLengthMismatch && buffer.size() < (64u << 20)) {
            buffer.resize(needed > buffer.size() ? needed + 4096 : buffer.size() * 2);
            continue;
        }
        if (rc < 0) return -1;
        break;
    }
    ULONG count = 0;
    std::memcpy(&count, buffer.data(), sizeof count);
    const size_t first = sizeof(void*); // the entries follow the count, pointer-aligned
    const DWORD pid = GetCurrentProcessId();
    long long mine = 0;
    for (ULONG i = 0; i < count && first + (i + 1) * sizeof(Entry) <= buffer.size(); ++i) {
        Entry entry;
        std::memcpy(&entry, buffer.data() + first + i * sizeof(Entry), sizeof entry);
        if (entry.owner != pid) continue;
        ++mine;
        ++kinds[handle_type(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(entry.value)))];
    }
    return mine;
}

std::string status(HRESULT hr) {
    return hex(static_cast<unsigned long>(hr));
}

} // namespace

Stopwatch stopwatch_start() {
    Stopwatch watch;
    watch.unix_us = unix_us();
    QueryPerformanceCounter(&watch.start);
    return watch;
}

long long stopwatch_us(const Stopwatch& watch) {
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (now.QuadPart - watch.start.QuadPart) * 1000000LL / frequency.QuadPart;
}

std::string timing_fields(const Stopwatch& watch, long long held_us) {
    return "us=" + std::to_string(held_us) + " at=" + std::to_string(watch.unix_us);
}

void bare_play(const std::string& name) {
    if (!g_com) {
        // The plug-in's Init has usually initialised COM on this thread already (S_FALSE).
        g_com = SUCCEEDED(CoInitialize(nullptr));
    }
    const Stopwatch watch = stopwatch_start();
    const HRESULT hr = start_bare(name.c_str());
    const long long held = stopwatch_us(watch);
    log_event("bareplay " + quote(name) + " -> " + status(hr) + " " + timing_fields(watch, held) +
              " " + steps_field());
}

void bare_stop() {
    const HRESULT hr = g_bare.control != nullptr ? g_bare.control->Stop() : E_POINTER;
    log_event("barestop -> " + status(hr));
}

void bare_release() {
    release_bare();
    if (g_com) {
        CoUninitialize();
        g_com = false;
    }
    log_event("barerelease");
}

void log_memory() {
    std::map<std::string, int> kinds;
    std::string line = "memory private=" + std::to_string(committed_private_bytes()) +
                       " handles=" + std::to_string(handle_table_count(kinds));
    std::string list;
    for (const auto& [kind, n] : kinds)
        list += (list.empty() ? "" : ",") + kind + ":" + std::to_string(n);
    line += " kinds=" + (list.empty() ? std::string("none") : list);
    log_event(line);
}

void set_ini(const std::string& file, const std::string& section, const std::string& key,
             const std::string& value) {
    char full[MAX_PATH * 2];
    DWORD n = GetFullPathNameA(file.c_str(), sizeof(full), full, nullptr);
    std::string path = (n > 0 && n < sizeof(full)) ? std::string(full, n) : file;
    BOOL ok = WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str());
    log_event("setini " + quote(file) + " -> " + (ok ? "1" : "0"));
}

} // namespace host
