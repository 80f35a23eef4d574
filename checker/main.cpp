// bgm-check GAME_FOLDER: reads a game folder as the plug-in will and reports, per stage,
// what can play and what is wrong. Exit code 0 when nothing is an error, 1 otherwise,
// 2 when the command line or the folder can't be used.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/code_pages.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/text_out.h"
#include "checker.h"
#include "names.h"
#include "orv_version.h"

namespace {

constexpr char kUsage[] =
    "usage: bgm-check [--json] [--codepage N] GAME_FOLDER\n"
    "       bgm-check --version\n"
    "  Reads GAME_FOLDER (its plugins\\OrvalinMugenBGM.ini, stages\\*.def and the music\n"
    "  they name) as the plug-in will, and reports what each stage can play and what is\n"
    "  wrong. Exit code 0: no errors; 1: errors; 2: this command line can't be used.\n"
    "  --json        the same findings as JSON\n"
    "  --codepage N  the ANSI code page the game's names are written in (1252, the\n"
    "                default, for Western games; 932 for Japanese ones; 936, 949, 950,\n"
    "                874 and 1250 to 1258 too)\n";

int Usage(const char* problem) {
    std::fprintf(stderr, "bgm-check: %s\n%s", problem, kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    check::Report report;
    bool json = false;
    const char* game = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--json") {
            json = true;
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
    if (!game) return Usage("no game folder given");
    report.game = game;
    platform::UseCodePage(report.codePage);
    if (!platform::SetCurrentDir(game)) {
        std::fprintf(stderr, "bgm-check: can't enter the game folder %s: %s\n", game,
                     check::ErrorInWords(platform::GetLastError()).c_str());
        return 2;
    }
    check::CheckSettings(report);
    check::CheckStages(report);
    check::NoteCodePage(report);
    const std::string out = json ? check::JsonReport(report) : check::TextReport(report);
    if (!platform::WriteToConsole(out.data(), out.size()))
        std::fwrite(out.data(), 1, out.size(), stdout);
    return check::Count(report).errors > 0 ? 1 : 0;
}
