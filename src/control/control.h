// Control: what the game's thread and the module's worker do on the player's behalf. The
// message hook (hot keys, graph events, the notice timer, window requests) and the
// extended pause.
#pragma once
#include "engine/engine.h"
#include "platform/types.h"

intptr_t KeyHook(int code, uintptr_t wParam, intptr_t lParam);

// The extended pause's worker (the park it asks for is the engine's).
namespace ExPause {
// Starts ExPauseThread for `request`; keeps no handle.
void Start(Request request);
} // namespace ExPause
// The worker: its parameter is the request (an ExPause::Request).
uint32_t ExPauseThread(void* request);
