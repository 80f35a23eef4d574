// The entry points that need no other machinery.
#include "platform/window.h"
#include "plugin/plugin.h"

int IsOurFile(const char*) {
    return 1; // every file the host asks about is ours
}

int GetOutputTime() {
    return 0;
}

void SetOutputTime(int) {}

int IsPaused() {
    return PlayerState.Paused;
}

void SetPan(int pan) {
    OutModSetPan(pan);
}

void Config(platform::Hwnd parent) {
    platform::ShowMessageBox(parent,
                             "No config available.\n(Run under WinAmp? This plugin is NOT "
                             "developed for it)",
                             ErrorFeedback::kCaption, platform::kMbOk);
}

void About(platform::Hwnd parent) {
    platform::ShowMessageBox(parent, "MUGEN DShow Player\nDO NOT USE IN WINAMP!",
                             ErrorFeedback::kCaption, platform::kMbOk);
}
