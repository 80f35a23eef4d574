// Our calls into the host's output module, and the hook the host's thread runs.
#include "core/core.h"
#include "platform/system.h"

platform::Handle HookHandle = nullptr;

int OutModPause(int pause) {
    Out_Module* out = Module.outMod;
    return out && out->Pause ? out->Pause(pause) : 0;
}

void OutModClose() {
    Out_Module* out = Module.outMod;
    if (out && out->Close) out->Close();
}

void OutModSetVolume(int volume) {
    Out_Module* out = Module.outMod;
    if (out && out->SetVolume) out->SetVolume(volume);
}

void OutModSetPan(int pan) {
    Out_Module* out = Module.outMod;
    if (out && out->SetPan) out->SetPan(pan);
}

bool OffHostThread() {
    return PlayerState.HostThreadId != 0 &&
           platform::GetCurrentThreadId() != PlayerState.HostThreadId;
}

// Here rather than beside the settings: the checker reads settings but has no hook.
void ResetCoreState() {
    PluginSettings = Settings{};
    // The table's memory belonged to a run whose platform state is gone: it is let go, not
    // given back.
    PlayerState.Entries.Forget();
    PlayerState = PlayerStateRecord{};
    ScratchClear();
    MessageBuffer[0] = '\0';
    HookHandle = nullptr;
}
