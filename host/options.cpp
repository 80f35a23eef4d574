#include "options.h"

#include "numbers.h"

#include <string_view>

namespace host {

bool parse_options(int argc, char** argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        bool takes_value = arg == "--log" || arg == "--title" || arg == "--plugin" ||
                           arg == "--answer" || arg == "--play" || arg == "--box-delay" ||
                           arg == "--heartbeat";
        if (takes_value && i + 1 >= argc) {
            error = std::string(arg) + " needs a value";
            return false;
        }
        if (arg == "--log") {
            options.log_path = argv[++i];
        } else if (arg == "--title") {
            options.title = argv[++i];
        } else if (arg == "--plugin") {
            options.plugin_path = argv[++i];
        } else if (arg == "--answer") {
            long long n = 0;
            if (!parse_number(argv[++i], n)) {
                error = "--answer needs a number";
                return false;
            }
            options.answer = static_cast<int>(n);
        } else if (arg == "--box-delay" || arg == "--heartbeat") {
            long long n = 0;
            if (!parse_number(argv[++i], n) || n < 0 || n > 600000) {
                error = std::string(arg) + " needs a number of milliseconds";
                return false;
            }
            (arg == "--box-delay" ? options.box_delay_ms : options.heartbeat_ms) =
                static_cast<int>(n);
        } else if (arg == "--play") {
            options.play = argv[++i];
            options.has_play = true;
        } else if (arg == "--no-outmod") {
            options.no_outmod = true;
        } else if (arg == "--no-window") {
            options.no_window = true;
        } else if (arg == "--watch-only") {
            options.watch_only = true;
        } else if (arg == "--heap-busy") {
            options.heap_busy = true;
        } else if (arg == "--peek-first") {
            options.peek_first = true;
        } else if (arg == "--read-drops") {
            options.read_drops = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + std::string(arg);
            return false;
        } else if (options.has_script) {
            error = "more than one script given";
            return false;
        } else {
            options.script = std::string(arg);
            options.has_script = true;
        }
    }
    return true;
}

} // namespace host
