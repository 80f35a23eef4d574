// What every fuzz target shares: a clean simulated world and a module in its load-time
// state for each input, and the check that ends a run with a report when a property
// does not hold. A target is built twice: with libFuzzer (scripts/fuzz) and, with a
// plain main() that replays files, into the native test tree (fuzz/replay_main.cpp).
#pragma once
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/key_list.h"
#include "control/control.h"
#include "engine/engine.h"
#include "notices/notices.h"
#include "platform/sim/sim.h"
#include "plugin/plugin.h"
#include "selection/selection.h"
#include "tools/tools.h"

#include "../tests/support/load_time_module.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fuzz {

[[noreturn]] inline void Fail(const char* file, int line, const char* what,
                              const std::string& detail) {
    std::fprintf(stderr, "%s:%d: property does not hold: %s\n%s\n", file, line, what,
                 detail.c_str());
    std::abort();
}

// Stops the run with a report (libFuzzer keeps the input as a finding).
#define FUZZ_CHECK(condition, detail)                                                              \
    do {                                                                                           \
        if (!(condition)) ::fuzz::Fail(__FILE__, __LINE__, #condition, detail);                    \
    } while (0)

// A text for a report: printable bytes as they are, others as \xNN, at most `limit` bytes.
inline std::string Show(std::string_view text, size_t limit = 300) {
    std::string out;
    for (size_t i = 0; i < text.size() && i < limit; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 32 && c < 127 && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    if (text.size() > limit) out += "...(" + std::to_string(text.size()) + " bytes)";
    return out;
}

// True when the buffer holds a terminator.
inline bool Terminated(const char* buffer, size_t size) {
    return std::memchr(buffer, 0, size) != nullptr;
}

// A clean world (no call log, for speed: misuse is still recorded) and the module as
// the host finds it after loading, with the host's fields filled in.
inline void FreshModule() {
    sim::Reset();
    sim::SetCallLog(false);
    sim::SetStringResource(ORV_KEY_LIST_RESOURCE, ORV_KEY_LIST);
    LoadTimeModule();
}

// The platform saw no misuse: nothing released, closed or freed twice, no call through
// a released interface.
inline void CheckNoMisuse() {
    std::string errors;
    for (const auto& e : sim::Errors())
        errors += e + "\n";
    FUZZ_CHECK(errors.empty(), errors);
}

// Everything the module took from the platform has been given back.
inline void CheckNothingHeld() {
    FUZZ_CHECK(sim::LiveAllocations() == 0, std::to_string(sim::LiveAllocations()) + " blocks");
    FUZZ_CHECK(sim::OpenFileHandles() == 0, "open files");
    FUZZ_CHECK(sim::OpenSearches() == 0, "open searches");
    FUZZ_CHECK(sim::LiveComObjects() == 0, "live COM objects");
    CheckNoMisuse();
}

// The names of a table, the playback state's by default.
inline std::vector<std::string> Names(const ::EntryTable& table = PlayerState.Entries) {
    std::vector<std::string> entries;
    for (int i = 0; i < table.Count(); ++i)
        entries.emplace_back(table[i]);
    return entries;
}

} // namespace fuzz
