// The extended pause's worker: a thread that freezes the game behind a box, or while it
// cuts the tag off the playing file, with the game's thread parked (see the park in the
// engine).
#include "control/control.h"
#include "core/core.h"
#include "core/key_list.h"
#include "engine/engine.h"
#include "notices/notices.h"
#include "platform/system.h"
#include "platform/window.h"
#include "tools/tools.h"

namespace {

constexpr unsigned kWorkerBox = platform::kMbTopmost | platform::kMbSetForeground;

void ShowPauseBox() {
    char text[512];
    static_assert(sizeof ORV_KEY_LIST <= sizeof text, "the key list must fit the pause box");
    const char* shown = "Paused... Press OK to continue";
    if (PluginSettings.UseExPause == 1) {
        if (platform::LoadStringResource(DllInstance(), ORV_KEY_LIST_RESOURCE, text, sizeof text) <=
            0)
            text[0] = '\0';
        shown = text;
    }
    // No owner: the game window's thread is parked. Topmost and in front, so that a
    // full-screen game cannot hide the box that holds it.
    platform::ShowMessageBox(nullptr, shown, "Paused - by OrvalinMUGENBGM",
                             platform::kMbOk | kWorkerBox);
}

} // namespace

namespace ExPause {

void Start(Request request) {
    SetWorkerStarting(true);
    platform::Handle thread = platform::StartThread(
        ExPauseThread, reinterpret_cast<void*>(static_cast<intptr_t>(request)));
    if (thread)
        platform::CloseObject(thread); // nothing waits for its end
    else
        SetWorkerStarting(false);
}

} // namespace ExPause

uint32_t ExPauseThread(void* param) {
    PlayerStateRecord& p = PlayerState;
    if (p.ExPauseActive.exchange(true)) { // another one is at work
        ExPause::SetWorkerStarting(false);
        return 1;
    }
    ExPause::BeginWork();
    if (p.InlineCutActive) { // Ctrl+X's own cut is asking on the game's thread
        p.ExPauseActive = false;
        return 1;
    }
    const auto request = static_cast<ExPause::Request>(reinterpret_cast<intptr_t>(param));
    const bool parked = ExPause::RequestPark(request);
    if (request != ExPause::Request::TagCut) {
        ShowPauseBox();
    } else if (!parked) {
        TitleNotice::Show("[ERROR] The game did not pause: the tag was not cut.",
                          PluginSettings.DispWindowTime, TitleNotice::kShowNow);
    } else if (platform::ShowMessageBox(nullptr, kTagCutQuestion, ErrorFeedback::kCaption,
                                        platform::kMbYesNo | kWorkerBox) == platform::kIdYes) {
        NextTune::AwaitReleased(NextTune::kCutReleaseMs); // the worker's graphs may hold the file
        CutId3v2Tag(ExPause::CutPath());
    }
    if (parked) ExPause::ReleasePark();
    platform::Sleep(100);
    platform::PostToWindow(HostWindow(), platform::kWmExPauseDone, 0, 0);
    p.ExPauseActive = false;
    return 1;
}
