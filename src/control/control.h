// Control: what the game's thread and the module's worker do on the player's behalf. The
// message hook (hot keys, graph events, the notice timer, window requests) and the
// extended pause.
#pragma once
#include "platform/types.h"

intptr_t KeyHook(int code, uintptr_t wParam, intptr_t lParam);

// The extended pause's worker (the park it asks for is the engine's).
namespace ExPause {
// Starts ExPauseThread for `request` (kPauseBox or kTagCut); keeps no handle.
void Start(int request);
} // namespace ExPause
// The worker: its parameter is the request (kPauseBox or kTagCut).
uint32_t ExPauseThread(void* request);
