// Folder play: FindMusic over 100, 1,000 and 10,000 music files beside the marker, next
// to the simulated platform's own search over the same files (FindFirstFile, FindNextFile,
// FindClose for each extension, the names copied out). The scan's own cost per file is
// its time less the time it spent inside platform calls, both taken in the same run: a
// difference of two separate runs drowns it in the simulation's noise.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/files.h"
#include "platform/sim/sim.h"
#include "plugin/plugin.h"
#include "selection/selection.h"

namespace {

constexpr const char* kRequest = "C:\\Game\\sound\\bgm\\random.rnd";

// A clean world with `files` mp3 files in the marker's folder and the module as the host
// leaves it after loading (RndMusicExt mp3 and wma).
void FreshFolder(int files) {
    sim::Reset();
    sim::SetCallLog(false);
    char name[64];
    for (int i = 0; i < files; ++i) {
        std::snprintf(name, sizeof name, "C:\\Game\\sound\\bgm\\tune%05d.mp3", i);
        sim::AddFile(name, "");
    }
    PlayerState = PlayerStateRecord{};
    PluginSettings = Settings{};
    Module.hMainWindow = sim::kGameWindow;
    Module.hDllInstance = sim::kModuleInstance;
}

// Time per file, as Google Benchmark reports a rate inverted.
void PerFile(benchmark::State& state, int files) {
    state.counters["per_file"] = benchmark::Counter(static_cast<double>(files),
                                                    benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
}

void BM_FindMusic(benchmark::State& state) {
    const int files = static_cast<int>(state.range(0));
    FreshFolder(files);
    int found = 0;
    bool first = false;
    std::chrono::nanoseconds own{};
    sim::TimeCalls(true);
    for (auto _ : state) {
        const auto inCalls = sim::TimeInCalls();
        const auto start = std::chrono::steady_clock::now();
        {
            const FolderScan scan = FindMusic(kRequest, PluginSettings.RndMusicExt);
            found = scan.entries.Count();
            first = std::strcmp(scan.entries[0], "C:\\Game\\sound\\bgm\\tune00000.mp3") == 0;
        }
        own += std::chrono::steady_clock::now() - start - (sim::TimeInCalls() - inCalls);
    }
    sim::TimeCalls(false);
    state.counters["own_per_file"] =
        static_cast<double>(own.count()) / static_cast<double>(state.iterations()) / files;
    const bool whole = found == files && first;
    if (!whole)
        state.SkipWithError("the folder was not read whole");
    else if (!sim::Errors().empty())
        state.SkipWithError(("platform misuse: " + sim::Errors().front()).c_str());
    else if (sim::LiveAllocations() != 0 || sim::OpenSearches() != 0)
        state.SkipWithError("memory or a search was left behind");
    else
        PerFile(state, files);
    sim::Reset();
}
BENCHMARK(BM_FindMusic)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The simulated platform's part: the same searches, each name copied out, nothing kept.
void BM_SimFolderSearch(benchmark::State& state) {
    const int files = static_cast<int>(state.range(0));
    FreshFolder(files);
    int listed = 0;
    for (auto _ : state) {
        listed = 0;
        for (const char* pattern : {"C:\\Game\\sound\\bgm\\*.mp3", "C:\\Game\\sound\\bgm\\*.wma"}) {
            char file[platform::kMaxPath];
            platform::Handle search = platform::FindFirst(pattern, file);
            if (!search) continue;
            do {
                benchmark::DoNotOptimize(file);
                ++listed;
            } while (platform::FindNext(search, file));
            platform::FindClose(search);
        }
    }
    if (listed != files)
        state.SkipWithError("the search did not list every file");
    else
        PerFile(state, files);
    sim::Reset();
}
BENCHMARK(BM_SimFolderSearch)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

} // namespace
