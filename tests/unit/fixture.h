// Test fixtures: a clean simulated world for each test, and a module in its load-time
// state with the host's fields filled in. A test fails when the platform recorded misuse
// (a double release, a double close, a call through a released interface...).
#pragma once
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "control/control.h"
#include "core/key_list.h"
#include "engine/engine.h"
#include "notices/notices.h"
#include "platform/sim/sim.h"
#include "plugin/plugin.h"
#include "selection/selection.h"

#include "../support/load_time_module.h"

class SimTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Reset();
        sim::SetStringResource(ORV_KEY_LIST_RESOURCE, ORV_KEY_LIST);
    }
    void TearDown() override {
        EXPECT_THAT(sim::Errors(), ::testing::IsEmpty()) << "call log:\n" << sim::LogText();
    }
};

using BeepList = std::vector<std::pair<uint32_t, uint32_t>>;

// Every box text shown, in order.
inline std::vector<std::string> BoxTexts() {
    std::vector<std::string> texts;
    for (const auto& box : sim::Boxes())
        texts.push_back(box.text);
    return texts;
}

// The names of an entry table, in order.
inline std::vector<std::string> TableNames(const EntryTable& table) {
    std::vector<std::string> names;
    for (int i = 0; i < table.Count(); ++i)
        names.emplace_back(table[i]);
    return names;
}

// A playlist read and taken over as Play takes it: its table, extra sound and play mode.
inline int LoadPlaylist(const char* name) {
    if (!UsePlaylist(ReadPlaylist(name))) return 0;
    PlayerState.PlayMode =
        PlayerState.Entries.Count() > 0 ? PlaySource::Playlist : PlaySource::EmptyPlaylist;
    return 1;
}

// A table of `count` entries, for tests of what is done with one.
inline void FillEntries(int count, const char* name = "t.mp3") {
    PlayerState.Entries.Clear();
    for (int i = 0; i < count; ++i)
        PlayerState.Entries.Append(name, std::char_traits<char>::length(name));
}

inline constexpr const char* kSettingsPath = "C:\\Game\\plugins\\OrvalinMugenBGM.ini";

// The module as the host finds it after loading, with the host's fields filled in.
class ModuleTest : public SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        LoadTimeModule();
    }
    void TearDown() override {
        if (started_) Quit(); // Init's set-up must not leak into the next test
        SimTest::TearDown();
    }

    // The settings file holding these lines in its "Settings" section.
    static void WriteSettings(const std::string& lines) {
        sim::AddFile(kSettingsPath, "[Settings]\r\n" + lines);
    }
    // Init, as the host calls it; the fixture runs Quit at the end unless the test did.
    void StartModule() {
        Init();
        started_ = true;
    }
    void QuitModule() {
        Quit();
        started_ = false;
    }
    // A started module with its history cleared, ready for the step under test.
    void StartQuietly() {
        StartModule();
        sim::ClearHistory();
    }

  private:
    bool started_ = false;
};
