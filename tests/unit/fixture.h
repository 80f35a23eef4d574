// Test fixtures: a clean simulated world for each test, and a module in its load-time
// state with the host's fields filled in. A test fails when the platform recorded misuse
// (a double release, a double close, a call through a released interface...).
#pragma once
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/sim/sim.h"

class SimTest : public ::testing::Test {
  protected:
    void SetUp() override { sim::Reset(); }
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
