// The settings file: read at Init by the platform's private-profile rules, written back
// at Quit only for the key-driven volume adjustment.
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "fixture.h"

using SettingsFile = ModuleTest;

TEST_F(SettingsFile, NoFileGivesEveryDefault) {
    StartModule();
    const Settings& s = PluginSettings;
    const int ints[] = {s.InitRandom,
                        s.ChangeSoundOnLoop,
                        s.LoopRandom,
                        s.Debug,
                        s.Beep,
                        s.ForceSetMasterVol,
                        s.UseExPause,
                        s.DisplayToWindowText,
                        s.DispWindowTime,
                        s.PauseMode,
                        s.AutosaveTxtFile,
                        s.SubVolume,
                        s.RndInitRandom,
                        s.MsgBoxOnError,
                        s.TurboLoadMusic,
                        s.ReleaseOnStop,
                        s.CloseOutModWhenUnpause,
                        s.VolumeCurve};
    const int defaults[] = {1, 0, 1, 0, 0, 0, 0, 0, 5, 1, 1, -22222, 1, 0, 0, 0, 0, 0};
    for (size_t i = 0; i < std::size(defaults); ++i)
        EXPECT_EQ(ints[i], defaults[i]) << i;
    EXPECT_STREQ(s.OpenUserSoftwareA, "notepad");
    EXPECT_STREQ(s.OpenUserFileA2, "plugins\\OrvalinMUGENBGM.ini");
    EXPECT_STREQ(s.Preventer1, "");
    EXPECT_STREQ(s.Preventer2, "");
    EXPECT_STREQ(s.RndMusicExt[0], "mp3");
    EXPECT_STREQ(s.RndMusicExt[1], "wma");
    EXPECT_STREQ(s.RndMusicExt[2], "");
    EXPECT_EQ(PlayerState.Adjust, 0);
    QuitModule();
    EXPECT_FALSE(sim::HasFile(kSettingsPath)); // nothing stored, so nothing created
}

struct IntCase {
    const char* line;
    int Settings::*field;
    int expected;
    friend std::ostream& operator<<(std::ostream& os, const IntCase& c) { return os << c.line; }
};

class IntSetting : public ModuleTest, public ::testing::WithParamInterface<IntCase> {};

TEST_P(IntSetting, ReadsTheLeadingSignedNumber) {
    WriteSettings(std::string(GetParam().line) + "\r\n");
    StartModule();
    EXPECT_EQ(PluginSettings.*GetParam().field, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, IntSetting,
    ::testing::Values(IntCase{"Debug=abc", &Settings::Debug, 0},
                      IntCase{"Beep=2x", &Settings::Beep, 2},
                      IntCase{"SubVolume=-5", &Settings::SubVolume, -5},
                      IntCase{"PauseMode=+3", &Settings::PauseMode, 3},
                      IntCase{"DispWindowTime=", &Settings::DispWindowTime, 5},
                      IntCase{"DispWindowTime=   ", &Settings::DispWindowTime, 5},
                      IntCase{"dispwindowtime = 9 ", &Settings::DispWindowTime, 9},
                      IntCase{"MSGBOXONERROR=2", &Settings::MsgBoxOnError, 2},
                      IntCase{"AutosaveTxtFile=-1", &Settings::AutosaveTxtFile, -1},
                      IntCase{"InitRandom=0", &Settings::InitRandom, 0},
                      IntCase{"VolumeCurve=- 1", &Settings::VolumeCurve, 0}));

TEST_F(SettingsFile, SectionNameIgnoresCaseAndOtherSectionsAreIgnored) {
    sim::AddFile(kSettingsPath, "[Other]\r\nBeep=7\r\n[SETTINGS]\r\nbeep=2\r\n");
    StartModule();
    EXPECT_EQ(PluginSettings.Beep, 2);
}

TEST_F(SettingsFile, TextsAreTrimmedAndCutToTheirBuffers) {
    const std::string longName(300, 'p');
    const std::string longExtension = "abcdefghijklmnopqrstuvwxyz0123456789"; // 36
    WriteSettings("Preventer1=  " + longName + "  \r\nRndMusicExt1=" + longExtension +
                  "\r\nrndmusicext3 = flac\r\nOpenUserSoftwareA=editor.exe\r\n"
                  "Preventer2=HOST.EXE\r\n");
    StartModule();
    EXPECT_EQ(std::string(PluginSettings.Preventer1), longName.substr(0, 255));
    EXPECT_EQ(std::string(PluginSettings.RndMusicExt[0]), longExtension.substr(0, 31));
    EXPECT_STREQ(PluginSettings.RndMusicExt[1], "wma");
    EXPECT_STREQ(PluginSettings.RndMusicExt[2], "flac");
    EXPECT_STREQ(PluginSettings.OpenUserSoftwareA, "editor.exe");
}

TEST_F(SettingsFile, StoredValueToAdjustment) {
    const struct {
        int subVolume, curve, adjust;
    } cases[] = {
        {100, 0, 3907}, {127, 0, 4961}, {-128, 0, -4999}, {0, 0, 0},      {1, 0, 40},
        {128, 0, 0},    {-129, 0, 0},   {-22222, 0, 0},   {5, 1, 5},      {-128, 1, -128},
        {127, 1, 127},  {128, 1, 0},    {-129, 1, 0},     {-22222, 7, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AdjustFromSubVolume(c.subVolume, c.curve), c.adjust)
            << c.subVolume << " curve " << c.curve;
}

TEST_F(SettingsFile, EveryStoredValueSurvivesARunWithoutKeys) {
    for (int curve : {0, 1})
        for (int v = -128; v <= 127; ++v) {
            EXPECT_EQ(SubVolumeFromAdjust(AdjustFromSubVolume(v, curve), curve), v)
                << v << " curve " << curve;
        }
}

// The way back rounds to the nearest step, half away from zero, so that a stored value
// does not creep toward 0 run after run.
TEST_F(SettingsFile, AdjustmentBackToStoredValueRoundsToNearest) {
    const struct {
        int adjust, curve, subVolume;
    } cases[] = {
        {3907, 0, 100}, {4961, 0, 127}, {10000, 0, 127},  {-10000, 0, -128}, {100, 0, 3},
        {-100, 0, -3},  {150, 0, 4},    {-4999, 0, -128}, {-194, 0, -5},     {-19, 0, 0},
        {-20, 0, -1},   {8, 1, 8},      {255, 1, 127},    {-255, 1, -128},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SubVolumeFromAdjust(c.adjust, c.curve), c.subVolume)
            << c.adjust << " curve " << c.curve;
}

// What Quit writes for a stored value, after some presses of the volume-up key.
struct WriteBackCase {
    int subVolume, curve, keysUp;
    const char* written; // null: the value is left as it was
    friend std::ostream& operator<<(std::ostream& os, const WriteBackCase& c) {
        return os << "SubVolume " << c.subVolume << " curve " << c.curve << " up " << c.keysUp;
    }
};

class WriteBack : public ModuleTest, public ::testing::WithParamInterface<WriteBackCase> {};

TEST_P(WriteBack, QuitStoresTheAdjustment) {
    const WriteBackCase& c = GetParam();
    const std::string before = "[Settings]\r\nVolumeCurve=" + std::to_string(c.curve) +
                               "\r\nSubVolume=" + std::to_string(c.subVolume) + "\r\nDebug=0\r\n";
    sim::AddFile(kSettingsPath, before);
    StartModule();
    for (int i = 0; i < c.keysUp; ++i)
        sim::PressKey(0x77);
    QuitModule();
    std::string expected = before;
    if (c.written) {
        const std::string old = "SubVolume=" + std::to_string(c.subVolume);
        expected.replace(expected.find(old), old.size(), std::string("SubVolume=") + c.written);
    }
    EXPECT_EQ(sim::FileText(kSettingsPath), expected);
    EXPECT_EQ(PluginSettings.SubVolume, c.written ? std::stoi(c.written) : c.subVolume);
}

INSTANTIATE_TEST_SUITE_P(
    Values, WriteBack,
    ::testing::Values(WriteBackCase{127, 0, 0, "127"}, WriteBackCase{0, 0, 0, "0"},
                      WriteBackCase{100, 0, 0, "100"}, WriteBackCase{5, 1, 3, "8"},
                      WriteBackCase{127, 1, 1, "127"}, WriteBackCase{0, 0, 1, "3"},
                      WriteBackCase{100, 0, 200, "127"}, WriteBackCase{128, 0, 3, nullptr},
                      WriteBackCase{-129, 1, 3, nullptr}, WriteBackCase{-22222, 0, 0, nullptr},
                      WriteBackCase{-5, 0, 0, "-5"}, WriteBackCase{-128, 0, 0, "-128"}));

namespace {
std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char c = text[++i];
            out += c == 'r' ? '\r' : c == 'n' ? '\n' : c;
        } else {
            out += text[i];
        }
    }
    return out;
}
} // namespace

// The same files the end-to-end tests run through the real platform.
TEST_F(SettingsFile, WriteBackCasesSharedWithTheRealPlatform) {
    std::ifstream data(ORV_TEST_DATA "/settings_write_back.txt", std::ios::binary);
    ASSERT_TRUE(data) << ORV_TEST_DATA;
    std::vector<std::pair<std::string, std::string>> cases;
    for (std::string line; std::getline(data, line);) {
        if (line.rfind("in:  ", 0) == 0)
            cases.emplace_back(Unescape(line.substr(5)), "");
        else if (line.rfind("out: ", 0) == 0)
            cases.back().second = Unescape(line.substr(5));
    }
    ASSERT_GE(cases.size(), 5u);
    for (const auto& [before, after] : cases) {
        TearDown();
        SetUp();
        sim::AddFile(kSettingsPath, before);
        StartModule();
        sim::PressKey(0x77);
        sim::PressKey(0x77);
        QuitModule();
        EXPECT_EQ(sim::FileText(kSettingsPath), after) << before;
    }
}
