// The message hook on the paths it takes for nearly every message the game's thread
// retrieves: a message it does not act on (WM_MOUSEMOVE) and a key press it ignores
// ('A'), with the park message registered as after Init. Both should cost a few dozen
// instructions, allocate nothing and make no platform call but the one to the next hook.
//
// The simulated CallNextHook counts its calls and, with the call log on, records a line;
// the log is switched off here so that neither an allocation nor a growing log enters the
// measurement.
//
// With ORV_BENCH_ITERATIONS=N in the environment each benchmark here calls the hook exactly
// N times (bench/hook_instructions.sh uses this under callgrind).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "control/control.h"
#include "engine/engine.h"
#include "notices/notices.h"
#include "platform/sim/sim.h"
#include "platform/window.h"
#include "plugin/plugin.h"

namespace {

constexpr uint32_t kWmMouseMove = 0x0200;
constexpr uintptr_t kKeyA = 0x41;

// ORV_BENCH_ITERATIONS, or 0 when unset.
long long FixedIterationCount() {
    const char* n = std::getenv("ORV_BENCH_ITERATIONS");
    const long long count = n ? std::atoll(n) : 0;
    return count > 0 ? count : 0;
}

void FixedIterations(benchmark::internal::Benchmark* b) {
    if (FixedIterationCount() > 0) b->Iterations(FixedIterationCount());
}

// One message as the game's message retrieval hands it to the hook (HC_ACTION, PM_REMOVE).
void RunHook(benchmark::State& state, uint32_t message, uintptr_t wParam) {
    sim::Reset();
    PlayerState = PlayerStateRecord{};
    PluginSettings = Settings{};
    Module.hMainWindow = sim::kGameWindow;
    Module.hDllInstance = sim::kModuleInstance;
    HookHandle = nullptr;
    ExPause::RegisterParkMessage(); // as Init does: the hook compares messages with it
    sim::ClearLog();
    const platform::HookMessage msg{sim::kGameWindow, message, wParam, 0};
    const intptr_t lParam = reinterpret_cast<intptr_t>(&msg);

    // One call with the log on: the next hook must be the only platform call recorded.
    // Skipped with a fixed count, so that under callgrind every KeyHook call is a
    // measured one (the script checks the calls made itself).
    const bool precheck = FixedIterationCount() == 0;
    std::vector<std::string> calls{"CallNextHookEx"};
    if (precheck) {
        KeyHook(0, 1, lParam);
        calls = sim::Log();
        sim::ClearLog();
    }
    sim::SetCallLog(false);

    for (auto _ : state)
        benchmark::DoNotOptimize(KeyHook(0, 1, lParam));

    if (calls != std::vector<std::string>{"CallNextHookEx"})
        state.SkipWithError("the hook made a platform call besides the next hook's");
    else if (sim::NextHookCalls() != state.iterations() + (precheck ? 1 : 0))
        state.SkipWithError("not every message went on to the next hook");
    else if (!sim::Errors().empty())
        state.SkipWithError(("platform misuse: " + sim::Errors().front()).c_str());
    else if (sim::LiveAllocations() != 0)
        state.SkipWithError("the hook allocated platform memory");
    sim::Reset();
}

void BM_KeyHook_MouseMove(benchmark::State& state) {
    RunHook(state, kWmMouseMove, 0);
}
BENCHMARK(BM_KeyHook_MouseMove)->Apply(FixedIterations);

void BM_KeyHook_IgnoredKeyDown(benchmark::State& state) {
    RunHook(state, platform::kWmKeyDown, kKeyA);
}
BENCHMARK(BM_KeyHook_IgnoredKeyDown)->Apply(FixedIterations);

} // namespace
