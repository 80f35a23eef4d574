// The checker's side of the platform: the boxes and beeps the module's readers would
// give become lines of the report instead, at once, without waiting for anybody. No
// game window exists, so the module's record stays empty.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/plugin_abi.h"
#include "platform/system.h"
#include "platform/window.h"
#include "checker.h"

In_Module Module = {};

namespace {
std::vector<std::string> signals;

// A box's text on one line: line ends become " / ".
std::string OneLine(const char* text) {
    std::string line;
    for (const char* c = text; *c; ++c) {
        if (*c == '\r') continue;
        if (*c == '\n')
            line += " / ";
        else
            line += *c;
    }
    return line;
}
} // namespace

namespace platform {

int ShowMessageBox(Hwnd, const char* text, const char* caption, unsigned flags) {
    signals.push_back("shows the box \"" + OneLine(caption) + "\": " + OneLine(text));
    // A question is answered No: the checker never lets a reader change anything.
    return (flags & kMbYesNo) ? kIdNo : kIdOk;
}

void Beep(uint32_t frequencyHz, uint32_t durationMs) {
    char text[64];
    std::snprintf(text, sizeof text, "beeps at %u Hz for %u ms", static_cast<unsigned>(frequencyHz),
                  static_cast<unsigned>(durationMs));
    signals.push_back(text);
}

} // namespace platform

namespace check {

std::vector<std::string> TakeSignals() {
    std::vector<std::string> taken;
    taken.swap(signals);
    return taken;
}

void AddSignals(Findings& to, const std::string& file, int line) {
    for (const std::string& signal : TakeSignals())
        Add(to, Severity::Note, file, line, "the plug-in " + signal);
}

} // namespace check
