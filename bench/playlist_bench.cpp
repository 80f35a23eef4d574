// Reading a playlist of 10,000 entries into an entry table, next to a plain in-memory copy
// of the same bytes into a table of the same shape: the difference is the cost of the
// reader's own work (the file read through the platform, header check, counting, letter
// folding, the lead-byte test per byte).
//
// Each iteration starts from a fresh simulated world holding the list, set up (and the
// previous iteration's table freed) with the timer paused, so memory does not grow and
// the world's records do not slow later iterations.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/sim/sim.h"
#include "plugin/plugin.h"
#include "selection/selection.h"

namespace {

constexpr int kEntries = 10000;
constexpr const char* kListPath = "C:\\Game\\sound\\list.txt";
constexpr const char* kListName = "sound\\list.txt"; // as a play request names it

// "[Orvalin_BGMList]", "[List]", then "sound\stage\tune0001.mp3,vol=80,beg=1500" and so
// on, every line ended by CR LF.
const std::string& ListText() {
    static const std::string text = [] {
        std::string t = "[Orvalin_BGMList]\r\n[List]\r\n";
        char line[96];
        for (int i = 1; i <= kEntries; ++i) {
            std::snprintf(line, sizeof line, "sound\\stage\\tune%04d.mp3,vol=80,beg=1500\r\n", i);
            t += line;
        }
        return t;
    }();
    return text;
}

// A clean world holding the list, with the call log off (it is not part of the cost).
void FreshWorld() {
    sim::Reset();
    sim::SetCallLog(false);
    sim::AddFile(kListPath, ListText());
}

// The module as the host leaves it after loading: no table, default settings.
void FreshModule() {
    PlayerState = PlayerStateRecord{};
    PluginSettings = Settings{};
    Module.hMainWindow = sim::kGameWindow;
    Module.hDllInstance = sim::kModuleInstance;
}

bool WorldIsClean(benchmark::State& state) {
    if (!sim::Errors().empty()) {
        state.SkipWithError(("platform misuse: " + sim::Errors().front()).c_str());
        return false;
    }
    if (sim::LiveAllocations() != 0 || sim::OpenFileHandles() != 0) {
        state.SkipWithError("memory or a file handle was left behind");
        return false;
    }
    return true;
}

void BM_ReadPlaylist(benchmark::State& state) {
    FreshModule();
    PlaylistRead list;
    for (auto _ : state) {
        state.PauseTiming();
        list.entries.Clear();
        FreshWorld();
        state.ResumeTiming();
        list = ReadPlaylist(kListName);
        benchmark::DoNotOptimize(list.entries.Count());
    }
    const bool read =
        list.refusal == ListRefusal::None && list.entries.Count() == kEntries &&
        std::strcmp(list.entries[kEntries - 1], "sound\\stage\\tune10000.mp3,vol=80,beg=1500") == 0;
    list.entries.Clear();
    if (!read)
        state.SkipWithError("the list was not read whole");
    else if (WorldIsClean(state)) {
        state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(ListText().size()));
        state.counters["entries"] = kEntries;
    }
    sim::Reset();
}
BENCHMARK(BM_ReadPlaylist)->Unit(benchmark::kMicrosecond);

// The baseline: the same bytes already in memory, copied into a table of the same shape
// (one block from the C runtime holding the bytes, each line found with memchr, its CR
// made its terminator and its offset recorded in a second block) with no platform call,
// no parsing and no folding, from the same fresh world between iterations so that its
// blocks meet the C runtime's heap as the reader's do. It costs the same on every machine
// relative to the reader: memory traffic and page faults of the table, nothing else.
struct CopiedLines {
    char* pool = nullptr;
    uint32_t* offsets = nullptr;
    int lines = 0;
    void Free() {
        std::free(pool);
        std::free(offsets);
        *this = {};
    }
};

CopiedLines CopyLinesInMemory(const std::string& bytes) {
    CopiedLines t;
    t.pool = static_cast<char*>(std::malloc(bytes.size() + 1));
    t.offsets = static_cast<uint32_t*>(std::malloc(kEntries * sizeof(uint32_t)));
    if (!t.pool || !t.offsets) return t;
    std::memcpy(t.pool, bytes.data(), bytes.size());
    t.pool[bytes.size()] = '\0';
    char* at = t.pool;
    char* const end = at + bytes.size();
    for (int skip = 0; skip < 2 && at < end; ++skip) { // the two header lines
        void* lf = std::memchr(at, '\n', static_cast<size_t>(end - at));
        at = lf ? static_cast<char*>(lf) + 1 : end;
    }
    while (t.lines < kEntries && at < end) {
        void* found = std::memchr(at, '\n', static_cast<size_t>(end - at));
        char* lf = found ? static_cast<char*>(found) : end;
        char* stop = lf > at && lf[-1] == '\r' ? lf - 1 : lf;
        if (stop - at > kNameSize - 1) stop = at + (kNameSize - 1);
        *stop = '\0';
        t.offsets[t.lines++] = static_cast<uint32_t>(at - t.pool);
        at = lf + 1;
    }
    return t;
}

void BM_CopyLinesInMemory(benchmark::State& state) {
    const std::string& bytes = ListText();
    CopiedLines table;
    for (auto _ : state) {
        state.PauseTiming();
        table.Free();
        FreshWorld(); // the C runtime's heap as the reader finds it
        state.ResumeTiming();
        table = CopyLinesInMemory(bytes);
        benchmark::DoNotOptimize(table.pool);
    }
    const bool read =
        table.lines == kEntries && std::strcmp(table.pool + table.offsets[kEntries - 1],
                                               "sound\\stage\\tune10000.mp3,vol=80,beg=1500") == 0;
    table.Free();
    sim::Reset();
    if (!read) {
        state.SkipWithError("the lines were not copied whole");
    } else {
        state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
        state.counters["entries"] = kEntries;
    }
}
BENCHMARK(BM_CopyLinesInMemory)->Unit(benchmark::kMicrosecond);

} // namespace
