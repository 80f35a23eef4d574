// Reading a playlist of 10,000 entries into the entry table, next to a plain in-memory copy
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
    for (auto _ : state) {
        state.PauseTiming();
        FreeEntryTable();
        FreshWorld();
        state.ResumeTiming();
        benchmark::DoNotOptimize(ReadPlaylist(kListName));
    }
    const bool read = PlayerState.EntryCount == kEntries &&
                      PlayerState.PlayMode == PlaySource::Playlist &&
                      std::strcmp(PlayerState.Entries[kEntries - 1],
                                  "sound\\stage\\tune10000.mp3,vol=80,beg=1500") == 0;
    FreeEntryTable();
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
// (10,000 zero-filled slots of 256 bytes from the C runtime, one memcpy per line found with
// memchr) with no platform call, no parsing and no folding. It costs the same on every
// machine relative to the reader: memory traffic and page faults of the table, nothing else.
NameSlot* CopyLinesInMemory(const std::string& bytes, int& lines) {
    lines = 0;
    auto* table = static_cast<NameSlot*>(std::calloc(kEntries, sizeof(NameSlot)));
    if (!table) return nullptr;
    const char* at = bytes.data();
    const char* const end = at + bytes.size();
    for (int skip = 0; skip < 2 && at < end; ++skip) { // the two header lines
        const void* lf = std::memchr(at, '\n', static_cast<size_t>(end - at));
        at = lf ? static_cast<const char*>(lf) + 1 : end;
    }
    while (lines < kEntries && at < end) {
        const void* found = std::memchr(at, '\n', static_cast<size_t>(end - at));
        const char* lf = found ? static_cast<const char*>(found) : end;
        size_t length = static_cast<size_t>(lf - at);
        if (length > 0 && at[length - 1] == '\r') --length;
        if (length > kNameSize - 1) length = kNameSize - 1;
        std::memcpy(table[lines++], at, length); // the zeroed slot ends it
        at = lf + 1;
    }
    return table;
}

void BM_CopyLinesInMemory(benchmark::State& state) {
    const std::string& bytes = ListText();
    NameSlot* table = nullptr;
    int lines = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::free(table);
        state.ResumeTiming();
        table = CopyLinesInMemory(bytes, lines);
        benchmark::DoNotOptimize(table);
    }
    const bool read =
        table && lines == kEntries &&
        std::strcmp(table[kEntries - 1], "sound\\stage\\tune10000.mp3,vol=80,beg=1500") == 0;
    std::free(table);
    if (!read) {
        state.SkipWithError("the lines were not copied whole");
    } else {
        state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
        state.counters["entries"] = kEntries;
    }
}
BENCHMARK(BM_CopyLinesInMemory)->Unit(benchmark::kMicrosecond);

} // namespace
