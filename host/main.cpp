// The stand-in host: a small program that treats the plug-in the way the game engine does,
// driven by a script, and logs everything that happens between the two.

#include "box_watcher.h"
#include "commands.h"
#include "crash_logger.h"
#include "game_window.h"
#include "log.h"
#include "options.h"
#include "outmod.h"
#include "plugin.h"
#include "pump.h"
#include "script_source.h"

#include <windows.h>

#include <string>

namespace host {

namespace {

constexpr int k_failed = 2;

std::string exe_name() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string name = path;
    size_t slash = name.find_last_of("\\/");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

// The script to run: the given one, or the one the game would follow by itself.
std::unique_ptr<ScriptSource> script_for(const Options& options) {
    if (options.has_script) return open_script(options.script);
    std::vector<std::string> lines = {"init"};
    if (options.has_play) {
        lines.push_back("setvolume 255");
        lines.push_back("play " + options.play);
    }
    lines.push_back("waitclose");
    lines.push_back("quit");
    lines.push_back("free");
    return script_from_lines(std::move(lines));
}

int run(int argc, char** argv) {
    Options options;
    std::string error;
    bool parsed = parse_options(argc, argv, options, error);
    if (!log_open(options.log_path)) return k_failed;
    log_event("start pid=" + std::to_string(GetCurrentProcessId()) + " exe=" + exe_name());
    if (!parsed) {
        log_event("error " + error);
        return k_failed;
    }
    install_crash_logger();

    HINSTANCE instance = GetModuleHandleA(nullptr);
    pump_set_mode(PumpMode{options.heap_busy, options.peek_first});
    HWND window = create_game_window(
        instance, GameWindowSettings{options.title, options.heartbeat_ms, options.read_drops});
    if (window == nullptr) {
        log_event("error cannot create the game window: " + std::to_string(GetLastError()));
        return k_failed;
    }
    std::unique_ptr<ScriptSource> script = script_for(options);
    if (script == nullptr) {
        log_event("error cannot read the script " + quote(options.script));
        return k_failed;
    }
    box_watcher_start(window, GetCurrentThreadId(), options.answer, !options.watch_only,
                      options.box_delay_ms);

    CommandContext context{
        window, PluginSettings{options.plugin_path, options.no_window ? nullptr : window,
                               options.no_outmod ? nullptr : output_module(window, instance)}};
    pump_pending();
    int code = 0;
    if (!plugin_load(context.plugin)) {
        code = k_failed;
    } else {
        std::string line;
        while (script->next(line)) {
            if (run_command(line, context) == Outcome::failed) {
                code = k_failed;
                break;
            }
            pump_pending();
        }
    }
    box_watcher_stop();
    if (code == 0) log_event("end");
    return code;
}

} // namespace

} // namespace host

int main(int argc, char** argv) {
    try {
        return host::run(argc, argv);
    } catch (...) {
        host::log_event("error internal failure");
        return 2;
    }
}
