// How failures and diagnostics reach the player: beeps, failure boxes, diagnostic boxes.
#include <cstdio>

#include "platform/system.h"
#include "platform/window.h"
#include "core/core.h"

namespace ErrorFeedback {

const char* const kCaption = "OrvalinMUGENBGM";

void FailureBeeps(const Tone* tones, int count, uint32_t gapMs) {
    if (PluginSettings.Beep == 0) return;
    for (int i = 0; i < count; ++i) {
        if (i > 0 && gapMs > 0) platform::Sleep(gapMs);
        platform::Beep(tones[i].frequency, tones[i].duration);
    }
}

void RepeatFailureBeep(Tone tone, int times, uint32_t gapMs) {
    if (PluginSettings.Beep == 0) return;
    for (int i = 0; i < times; ++i) {
        if (i > 0) platform::Sleep(gapMs);
        platform::Beep(tone.frequency, tone.duration);
    }
}

void FailureBox(const char* text) {
    if (PluginSettings.MsgBoxOnError != 0) AlwaysBox(text);
}

void StatusBox(const char* format, platform::HResult code) {
    if (PluginSettings.MsgBoxOnError != 1) return;
    std::snprintf(MessageBuffer, sizeof MessageBuffer, format, static_cast<unsigned>(code));
    platform::ShowMessageBox(HostWindow(), MessageBuffer, kCaption, platform::kMbOk);
}

void AlwaysBox(const char* text) {
    platform::ShowMessageBox(HostWindow(), text, kCaption, platform::kMbOk);
}

void DebugBox(int level, const char* text, const char* caption) {
    if (PluginSettings.Debug >= level)
        platform::ShowMessageBox(HostWindow(), text, caption, platform::kMbOk);
}

} // namespace ErrorFeedback
