// bgm-check GAME_FOLDER: reads a game folder as the plug-in will and reports, per stage,
// what can play and what is wrong, as text, JSON or a page. Exit code 0 when nothing is
// an error, 1 otherwise, 2 when the command line or the folder can't be used.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/code_pages.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/text_out.h"
#include "checker.h"
#include "names.h"
#include "orv_version.h"

namespace {

constexpr char kUsage[] =
    "usage: bgm-check [--json | --verbose | --errors-only | --quiet] [--html FILE]\n"
    "                 [--codepage N] GAME_FOLDER\n"
    "       bgm-check --version\n"
    "  Reads GAME_FOLDER (its plugins\\OrvalinMugenBGM.ini, stages\\*.def and the music\n"
    "  they name) as the plug-in will, and reports what each stage can play and what is\n"
    "  wrong. Exit code 0: no errors; 1: errors; 2: this command line can't be used.\n"
    "  Without GAME_FOLDER, from its place in the game's plugins folder, it reads the\n"
    "  game folder above it.\n"
    "  --json         the same findings as JSON\n"
    "  --verbose      every setting, every stage and what it asks for, every note\n"
    "  --errors-only  the summary and the errors\n"
    "  --quiet        the summary alone\n"
    "  --html FILE    also a page of every stage, with the music to listen to\n"
    "  --codepage N   the ANSI code page the game's names are written in (1252, the\n"
    "                 default, for Western games; 932 for Japanese ones; 936, 949, 950,\n"
    "                 874 and 1250 to 1258 too)\n"
    "  Colours show on a terminal unless NO_COLOR is set.\n";

int Usage(const char* problem) {
    std::fprintf(stderr, "bgm-check: %s\n%s", problem, kUsage);
    return 2;
}

// Started by a double-click, the program has its console to itself, and the console
// closes with it: it waits for a key first, whatever way it ends.
struct KeyBeforeClosing {
    bool wait = platform::AloneOnConsole();
    ~KeyBeforeClosing() {
        if (!wait) return;
        std::fputs("\nPress a key to close this window.\n", stdout);
        std::fflush(stdout);
        std::fflush(stderr);
        platform::WaitForKey();
    }
};

// The game folder above the program's own place in its plugins folder; empty when it
// is elsewhere.
std::string GameAbove() {
    char path[platform::kMaxPath];
    if (!platform::GetHostProgramPath(path, sizeof path)) return {};
    const std::string program = path;
    const size_t file = program.find_last_of("\\/");
    if (file == std::string::npos || file == 0) return {};
    const size_t folder = program.find_last_of("\\/", file - 1);
    const std::string name = program.substr(folder == std::string::npos ? 0 : folder + 1,
                                            file - (folder == std::string::npos ? 0 : folder + 1));
    if (!check::SameText(name, "plugins") || folder == std::string::npos) return {};
    return program.substr(0, folder == 0 ? 1 : folder);
}

// A path of the command line made absolute from the folder it was given in.
std::string Absolute(const std::string& path, const std::string& from) {
    const bool absolute = (!path.empty() && (path[0] == '/' || path[0] == '\\')) ||
                          (path.size() >= 2 && path[1] == ':');
    return absolute ? path : from + "/" + path;
}

// The page is written beside its place under a name of its own, then put in its place in
// one step: a page that can't be written whole leaves the one before it as it was, and
// no other file is written into.
bool WritePage(const std::string& path, const std::string& page) {
    const std::string temporary = path + ".bgm-check-part";
    std::error_code error;
    if (std::filesystem::exists(temporary, error) || error) return false;
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) return false;
    const bool written =
        std::fwrite(page.data(), 1, page.size(), file) == page.size() && std::fflush(file) == 0;
    if (std::fclose(file) != 0 || !written) {
        std::remove(temporary.c_str());
        return false;
    }
    std::filesystem::rename(temporary, path, error);
    if (error) std::remove(temporary.c_str());
    return !error;
}

} // namespace

int main(int argc, char** argv) {
    KeyBeforeClosing keyBeforeClosing;
    check::Report report;
    bool json = false;
    check::Detail detail = check::Detail::Usual;
    std::string html, gameAbove;
    const char* game = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--json") {
            json = true;
        } else if (arg == "--verbose") {
            detail = check::Detail::Verbose;
        } else if (arg == "--errors-only") {
            detail = check::Detail::ErrorsOnly;
        } else if (arg == "--quiet") {
            detail = check::Detail::Quiet;
        } else if (arg == "--html" && i + 1 < argc) {
            html = argv[++i];
        } else if (arg == "--codepage" && i + 1 < argc) {
            char* end = nullptr;
            const unsigned long cp = std::strtoul(argv[++i], &end, 10);
            if (*end != '\0' || !platform::KnownCodePage(static_cast<uint32_t>(cp)))
                return Usage(("unknown code page " + std::string(argv[i]) +
                              " (known: 874, 932, 936, 949, 950, 1250 to 1258)")
                                 .c_str());
            report.codePage = static_cast<uint32_t>(cp);
        } else if (arg == "--version") {
            std::fputs("bgm-check " ORV_VERSION "\n", stdout);
            return 0;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg[0] == '-' || game) {
            return Usage(("unexpected argument " + arg).c_str());
        } else {
            game = argv[i];
        }
    }
    if (!game && argc == 1 && !(gameAbove = GameAbove()).empty()) game = gameAbove.c_str();
    if (!game) return Usage("no game folder given");
    report.game = game;
    platform::UseCodePage(report.codePage);
    char folder[platform::kMaxPath];
    if (!html.empty() && platform::GetCurrentDir(folder, sizeof folder))
        html = Absolute(html, folder);
    if (!platform::SetCurrentDir(game)) {
        std::fprintf(stderr, "bgm-check: can't enter the game folder %s: %s\n", game,
                     check::ErrorInWords(platform::GetLastError()).c_str());
        return 2;
    }
    check::CheckSettings(report);
    check::CheckStages(report);
    check::NoteCodePage(report);
    if (!html.empty()) {
        const std::string gameFolder =
            platform::GetCurrentDir(folder, sizeof folder) ? folder : report.game;
        const std::string page = check::HtmlReport(report, check::WayTo(html, gameFolder));
        if (!WritePage(html, page)) {
            std::fprintf(stderr, "bgm-check: can't write the page %s\n", html.c_str());
            return 2;
        }
    }
    const char* noColour = std::getenv("NO_COLOR");
    const bool colour = !json && !(noColour && *noColour) && platform::OutputShowsColour();
    const std::string out =
        json ? check::JsonReport(report) : check::TextReport(report, detail, colour);
    if (!platform::WriteToConsole(out.data(), out.size()))
        std::fwrite(out.data(), 1, out.size(), stdout);
    return check::Count(report).errors > 0 ? 1 : 0;
}
