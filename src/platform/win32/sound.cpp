// Beeps and sounds on Windows: kept apart from the kernel services, so that a program
// which shows them its own way (the game-folder checker reports them) links those alone.
#include <windows.h>
#include <mmsystem.h>

#include "platform/system.h"
#include "platform/win32/step_timing.h"

namespace platform {

void Beep(uint32_t frequencyHz, uint32_t durationMs) {
    ::Beep(frequencyHz, durationMs);
}

bool PlaySoundFile(const char* name, unsigned flags) {
    ORV_STEP("PlaySound");
    return ::PlaySoundA(name, nullptr, flags) != FALSE;
}

} // namespace platform
