// The key list (Ctrl+H, the extended-pause box) against the hook: every key code, with
// and without Ctrl, is pressed while a tune plays; every key that does anything must be
// in the list, and its line must say what it did to the music.
#include <cstdio>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "fixture.h"

namespace {

// The list's lines by the key they name: "F7" -> "Volume down".
std::map<std::string, std::string> ListedKeys(const std::string& list) {
    std::map<std::string, std::string> keys;
    size_t at = list.find("\r\n"); // the title line names no key
    while (at != std::string::npos) {
        const size_t begin = at + 2;
        at = list.find("\r\n", begin);
        const std::string line = list.substr(begin, at == std::string::npos ? at : at - begin);
        const size_t colon = line.find(" : ");
        if (colon != std::string::npos) keys[line.substr(0, colon)] = line.substr(colon + 3);
    }
    return keys;
}

// The key's name as the list writes it.
std::string KeyName(int vk) {
    if (vk == 0x08) return "BackSpace";
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return std::string(1, char(vk));
    if (vk >= 0x70 && vk <= 0x87) return "F" + std::to_string(vk - 0x6F);
    char hex[16];
    std::snprintf(hex, sizeof hex, "key 0x%02X", vk);
    return hex;
}

// What a press can do to the music, and the words its line must (and must not) hold.
struct Effect {
    const char* did;
    const char* words;
    const char* contrary; // nullptr: none
};
const Effect kSilenced{"silenced the music", R"(\bmute\b)", nullptr};
const Effect kLowered{"lowered the level", R"(\b(down|lower)\b)", R"(\b(up|raise)\b)"};
const Effect kRaised{"raised the level", R"(\b(up|raise)\b)", R"(\b(down|lower)\b)"};
const Effect kPaused{"paused the music", R"(\bpause)", nullptr};
const Effect kSkipped{"skipped to the next tune", R"(\bnext\b)", nullptr};

bool Holds(const std::string& text, const char* pattern) {
    return std::regex_search(text, std::regex(pattern, std::regex::icase));
}

int LastVolume() {
    const auto lines = sim::Lines("put_Volume");
    return lines.empty() ? 0 : std::stoi(lines.back().substr(sizeof "put_Volume"));
}

} // namespace

class KeyListTest : public ModuleTest {
  protected:
    // One press on a fresh module playing a tune at the host's volume 128; what it did.
    std::vector<const Effect*> Press(int vk, bool ctrl, bool* acted) {
        sim::Reset();
        sim::SetStringResource(ORV_KEY_LIST_RESOURCE, ORV_KEY_LIST);
        LoadTimeModule();
        WriteSettings("UseExPause=1\r\n"); // BackSpace acts only with the extended pause
        sim::AddFile("a.mp3", "");
        StartModule();
        SetVolume(128);
        EXPECT_EQ(Module.Play("a.mp3"), 0);
        const int level = sim::LastGraph().volume;
        sim::SetRunThreadsOnSleep(false); // a started worker is seen, not run
        sim::ClearHistory();
        const int threads = sim::ThreadsStarted(); // the tune's worker is one
        sim::PressKey(vk, ctrl);
        *acted = sim::ThreadsStarted() > threads;
        for (const std::string& line : sim::Log())
            *acted = *acted || line != "CallNextHookEx";
        std::vector<const Effect*> effects;
        if (sim::Called("put_Volume")) {
            const int now = LastVolume();
            if (now == -10000)
                effects.push_back(&kSilenced);
            else if (now < level)
                effects.push_back(&kLowered);
            else if (now > level)
                effects.push_back(&kRaised);
        }
        if (sim::LastGraph().state == sim::GraphState::Paused) effects.push_back(&kPaused);
        if (sim::Called("put_CurrentPosition 99999")) effects.push_back(&kSkipped);
        QuitModule();
        return effects;
    }
};

TEST_F(KeyListTest, EveryKeyThatActsIsListedWithWhatItDoes) {
    const std::map<std::string, std::string> listed = ListedKeys(ORV_KEY_LIST);
    std::vector<std::string> wrong;
    int acting = 0;
    for (bool ctrl : {false, true}) {
        for (int vk = 0; vk < 256; ++vk) {
            bool acted = false;
            const std::vector<const Effect*> effects = Press(vk, ctrl, &acted);
            if (!acted) continue;
            ++acting;
            // A key that ignores Ctrl is listed without it.
            const std::string name = (ctrl ? "Ctrl + " : "") + KeyName(vk);
            auto line = listed.find(name);
            if (line == listed.end() && ctrl) line = listed.find(KeyName(vk));
            if (line == listed.end()) {
                wrong.push_back(name + " acts but is not in the key list");
                continue;
            }
            for (const Effect* e : effects) {
                if (!Holds(line->second, e->words) ||
                    (e->contrary && Holds(line->second, e->contrary)))
                    wrong.push_back(name + " " + e->did + ", but the list says \"" + line->first +
                                    " : " + line->second + "\"");
            }
        }
    }
    EXPECT_GE(acting, 10) << "the presses reach the hook";
    EXPECT_THAT(wrong, ::testing::IsEmpty());
}
