#include "commands.h"

#include "box_watcher.h"
#include "drops.h"
#include "game_window.h"
#include "keys.h"
#include "log.h"
#include "measure.h"
#include "numbers.h"
#include "pump.h"

#include <map>
#include <string_view>
#include <vector>

namespace host {

namespace {

constexpr DWORD k_close_poll_ms = 50;
constexpr DWORD k_box_poll_ms = 10;

// Files held open by `holdopen`, by the name given.
std::map<std::string, HANDLE> g_held;

std::string_view trim(std::string_view text) {
    const char* space = " \t\r\n";
    size_t first = text.find_first_not_of(space);
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(space);
    return text.substr(first, last - first + 1);
}

std::vector<std::string_view> words_of(std::string_view text) {
    std::vector<std::string_view> words;
    size_t at = 0;
    while (at < text.size()) {
        size_t start = text.find_first_not_of(" \t", at);
        if (start == std::string_view::npos) break;
        size_t end = text.find_first_of(" \t", start);
        if (end == std::string_view::npos) end = text.size();
        words.push_back(text.substr(start, end - start));
        at = end;
    }
    return words;
}

// Words separated by blanks; a word in double quotes may hold blanks (the quotes go).
std::vector<std::string> quoted_words_of(std::string_view text) {
    std::vector<std::string> words;
    size_t at = 0;
    for (;;) {
        at = text.find_first_not_of(" \t", at);
        if (at == std::string_view::npos) break;
        size_t end;
        if (text[at] == '"') {
            end = text.find('"', at + 1);
            if (end == std::string_view::npos) end = text.size();
            words.emplace_back(text.substr(at + 1, end - at - 1));
            at = end + 1;
        } else {
            end = text.find_first_of(" \t", at);
            if (end == std::string_view::npos) end = text.size();
            words.emplace_back(text.substr(at, end - at));
            at = end;
        }
        if (at >= text.size()) break;
    }
    return words;
}

bool int_argument(std::string_view word, std::string_view rest, int& value) {
    long long n = 0;
    if (!parse_number(rest, n)) {
        log_event("error " + std::string(word) + ": bad number " + quote(rest));
        return false;
    }
    value = static_cast<int>(n);
    return true;
}

// The record if the plug-in is loaded and has the slot, else logs why the call is skipped.
template <typename Slot> InModule* usable(std::string_view word, Slot InModule::*slot) {
    InModule* record = plugin_record();
    if (record == nullptr) {
        log_event("skipped " + std::string(word) + ": plug-in not loaded");
        return nullptr;
    }
    if (record->*slot == nullptr) {
        log_event("skipped " + std::string(word) + ": null slot");
        return nullptr;
    }
    return record;
}

void run_key(std::string_view rest, HWND window) {
    std::vector<std::string_view> words = words_of(rest);
    UINT vk = 0;
    if (words.empty() || !parse_virtual_key(words[0], vk)) {
        log_event("error key: bad key " + quote(rest));
        return;
    }
    Modifiers modifiers;
    for (size_t i = 1; i < words.size(); ++i) {
        if (words[i] == "ctrl") {
            modifiers.ctrl = true;
        } else if (words[i] == "shift") {
            modifiers.shift = true;
        } else if (words[i] == "alt") {
            modifiers.alt = true;
        } else {
            log_event("error key: bad modifier " + quote(words[i]));
            return;
        }
    }
    press_key(window, vk, modifiers);
}

void run_post(std::string_view rest, HWND window) {
    std::vector<std::string_view> words = words_of(rest);
    long long values[3] = {0, 0, 0};
    if (words.empty() || words.size() > 3) {
        log_event("error post: needs MSG [WPARAM [LPARAM]]");
        return;
    }
    for (size_t i = 0; i < words.size(); ++i) {
        if (!parse_number(words[i], values[i])) {
            log_event("error post: bad number " + quote(words[i]));
            return;
        }
    }
    PostMessageA(window, static_cast<UINT>(values[0]), static_cast<WPARAM>(values[1]),
                 static_cast<LPARAM>(values[2]));
}

// Opens the file for reading the way a player's other program might: others may read and
// write it, but not delete or rename it.
void hold_open(const std::string& path) {
    if (g_held.count(path) != 0) {
        log_event("holdopen " + quote(path) + " -> already held");
        return;
    }
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        log_event("holdopen " + quote(path) + " -> error " + std::to_string(GetLastError()));
        return;
    }
    g_held[path] = file;
    log_event("holdopen " + quote(path) + " -> ok");
}

void close_held(const std::string& path) {
    auto it = g_held.find(path);
    if (it == g_held.end()) {
        log_event("closeheld " + quote(path) + " -> not held");
        return;
    }
    CloseHandle(it->second);
    g_held.erase(it);
    log_event("closeheld " + quote(path) + " -> ok");
}

// Pumps until `count` boxes in all have come and gone; false if `ms` milliseconds pass first.
bool wait_boxes(std::string_view rest) {
    std::vector<std::string_view> words = words_of(rest);
    long long count = 0;
    long long ms = 0;
    if (words.size() != 2 || !parse_number(words[0], count) || !parse_number(words[1], ms) ||
        ms < 0) {
        log_event("error waitboxes: needs COUNT MS");
        return true;
    }
    long long waited = 0;
    while (box_watcher_gone_count() < count) {
        if (waited >= ms) {
            log_event("error waitboxes: timeout, " + std::to_string(box_watcher_gone_count()) +
                      " boxes gone");
            return false;
        }
        pump_for(k_box_poll_ms);
        waited += k_box_poll_ms;
    }
    return true;
}

void run_get_file_info(std::string_view rest) {
    InModule* r = usable("getfileinfo", &InModule::GetFileInfo);
    if (r == nullptr) return;
    std::string name(rest);
    char title[4096] = {};
    int length = -1;
    r->GetFileInfo(rest.empty() ? nullptr : name.c_str(), title, &length);
    title[sizeof(title) - 1] = '\0';
    log_event("getfileinfo " + (rest.empty() ? std::string("null") : quote(name)) +
              " -> title=" + quote(title) + " length=" + std::to_string(length));
}

// Calls of the plug-in's entry points; false if `word` is none of them.
bool run_entry_point(std::string_view word, std::string_view rest, const CommandContext& c) {
    std::string name(rest);
    int n = 0;
    if (word == "init") {
        if (InModule* r = usable(word, &InModule::Init)) r->Init();
    } else if (word == "quit") {
        if (InModule* r = usable(word, &InModule::Quit)) r->Quit();
    } else if (word == "setvolume") {
        InModule* r = usable(word, &InModule::SetVolume);
        if (r != nullptr && int_argument(word, rest, n)) r->SetVolume(n);
    } else if (word == "setpan") {
        InModule* r = usable(word, &InModule::SetPan);
        if (r != nullptr && int_argument(word, rest, n)) r->SetPan(n);
    } else if (word == "setoutputtime") {
        InModule* r = usable(word, &InModule::SetOutputTime);
        if (r != nullptr && int_argument(word, rest, n)) r->SetOutputTime(n);
    } else if (word == "play") {
        if (InModule* r = usable(word, &InModule::Play)) {
            int result = r->Play(name.c_str());
            log_event("play " + quote(name) + " -> " + std::to_string(result));
        }
    } else if (word == "timeplay") {
        if (InModule* r = usable(word, &InModule::Play)) {
            const Stopwatch watch = stopwatch_start();
            int result = r->Play(name.c_str());
            const long long held = stopwatch_us(watch);
            log_event("timeplay " + quote(name) + " -> " + std::to_string(result) + " " +
                      timing_fields(watch, held));
        }
    } else if (word == "pause") {
        if (InModule* r = usable(word, &InModule::Pause)) r->Pause();
    } else if (word == "unpause") {
        if (InModule* r = usable(word, &InModule::UnPause)) r->UnPause();
    } else if (word == "stop") {
        if (InModule* r = usable(word, &InModule::Stop)) r->Stop();
    } else if (word == "ispaused") {
        if (InModule* r = usable(word, &InModule::IsPaused)) {
            log_event("ispaused -> " + std::to_string(r->IsPaused()));
        }
    } else if (word == "getoutputtime") {
        if (InModule* r = usable(word, &InModule::GetOutputTime)) {
            log_event("getoutputtime -> " + std::to_string(r->GetOutputTime()));
        }
    } else if (word == "getlength") {
        if (InModule* r = usable(word, &InModule::GetLength)) {
            log_event("getlength -> " + std::to_string(r->GetLength()));
        }
    } else if (word == "isourfile") {
        if (InModule* r = usable(word, &InModule::IsOurFile)) {
            log_event("isourfile " + quote(name) + " -> " +
                      std::to_string(r->IsOurFile(name.c_str())));
        }
    } else if (word == "getfileinfo") {
        run_get_file_info(rest);
    } else if (word == "infobox") {
        if (InModule* r = usable(word, &InModule::InfoBox)) {
            int result = r->InfoBox(name.c_str(), c.plugin.window);
            log_event("infobox " + quote(name) + " -> " + std::to_string(result));
        }
    } else if (word == "config") {
        if (InModule* r = usable(word, &InModule::Config)) r->Config(c.plugin.window);
    } else if (word == "about") {
        if (InModule* r = usable(word, &InModule::About)) r->About(c.plugin.window);
    } else {
        return false;
    }
    return true;
}

// Commands about the host itself; false if `word` is none of them.
bool run_host_command(std::string_view word, std::string_view rest, CommandContext& c,
                      Outcome& outcome) {
    int n = 0;
    if (word == "free") {
        plugin_free();
    } else if (word == "load") {
        if (plugin_record() != nullptr) {
            log_event("skipped load: already loaded");
        } else if (!plugin_load(c.plugin)) {
            outcome = Outcome::failed;
        }
    } else if (word == "key") {
        run_key(rest, c.window);
    } else if (word == "post") {
        run_post(rest, c.window);
    } else if (word == "pump") {
        if (int_argument(word, rest, n) && n > 0) pump_for(static_cast<DWORD>(n));
    } else if (word == "sleep") {
        if (int_argument(word, rest, n) && n > 0) Sleep(static_cast<DWORD>(n));
    } else if (word == "waitclose") {
        while (!game_window_closed())
            pump_for(k_close_poll_ms);
    } else if (word == "title") {
        char text[4096] = {};
        GetWindowTextA(c.window, text, sizeof(text));
        log_event("title " + quote(text));
    } else if (word == "settitle") {
        SetWindowTextA(c.window, std::string(rest).c_str());
    } else if (word == "mark") {
        log_event("mark " + escape_controls(rest));
    } else if (word == "answer") {
        if (int_argument(word, rest, n)) box_watcher_set_answer(n);
    } else if (word == "boxdelay") {
        if (int_argument(word, rest, n) && n >= 0) box_watcher_set_delay(n);
    } else if (word == "waitboxes") {
        if (!wait_boxes(rest)) outcome = Outcome::failed;
    } else if (word == "drop") {
        std::vector<std::string> names = quoted_words_of(rest);
        if (names.empty()) {
            log_event("error drop: needs NAME [NAME...]");
        } else {
            post_drop(c.window, names);
        }
    } else if (word == "holdopen") {
        hold_open(std::string(rest));
    } else if (word == "closeheld") {
        close_held(std::string(rest));
    } else if (word == "decoy") {
        show_decoy_window(GetModuleHandleA(nullptr));
        log_event("decoy foreground=" + foreground_owner(c.window));
    } else if (word == "foreground") {
        log_event("foreground " + foreground_owner(c.window));
    } else if (word == "probe") {
        pump_install_probe();
        pump_post_probe(c.window);
    } else if (word == "heapcalls") {
        log_event("heapcalls " + std::to_string(pump_heap_calls()));
    } else if (word == "bareplay") {
        bare_play(std::string(rest));
    } else if (word == "barestop") {
        bare_stop();
    } else if (word == "barerelease") {
        bare_release();
    } else if (word == "memory") {
        log_memory();
    } else if (word == "setini") {
        std::vector<std::string> words = quoted_words_of(rest);
        if (words.size() != 4) {
            log_event("error setini: needs FILE SECTION KEY VALUE");
        } else {
            set_ini(words[0], words[1], words[2], words[3]);
        }
    } else {
        return false;
    }
    return true;
}

} // namespace

Outcome run_command(const std::string& line, CommandContext& context) {
    std::string_view text = trim(line);
    if (text.empty() || text[0] == '#') return Outcome::next;
    log_event("cmd " + escape_controls(text));

    size_t end = text.find_first_of(" \t");
    std::string_view word = text.substr(0, end);
    std::string_view rest =
        end == std::string_view::npos ? std::string_view() : trim(text.substr(end));

    Outcome outcome = Outcome::next;
    if (!run_entry_point(word, rest, context) && !run_host_command(word, rest, context, outcome)) {
        log_event("error unknown command " + quote(word));
    }
    return outcome;
}

} // namespace host
