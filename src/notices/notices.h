// The title-bar notices: short texts shown in the game window's title for a few seconds.
#pragma once
#include "platform/types.h"

namespace TitleNotice {
constexpr int kSlots = 20;
constexpr uintptr_t kTimerId = 77777;
constexpr uint32_t kTimerPeriodMs = 333;

// Flag bits.
constexpr int kShowNow = 1;
constexpr int kReplaceable = 2;
constexpr int kFollowUp = 4;
constexpr int kPlayingKind = 8;
constexpr int kPlaylistKind = 16;

// The queue: a ring of kSlots notices from Head on, Count of them in use, and the game's
// own title, which the notices give back when the last one ends.
struct NoticeQueue {
    int32_t Ticks[kSlots] = {};
    char Texts[kSlots][256] = {};
    uint8_t Flags[kSlots] = {};
    int8_t Head = 0;
    int8_t Count = 0;
    char SavedTitle[256] = "";
    bool RefreshPending = true;
};
extern NoticeQueue Queue;

// Called on another thread than the game's, the notice waits until the game's thread
// calls ShowDeferred.
int Show(const char* text, int duration, int flags);
void ShowDeferred();
int Tick(platform::Hwnd window);
void Collapse();
// Back to the empty queue (at load, and after shut-down killed the timer); notices
// still waiting for the game's thread are dropped.
void Reset();
} // namespace TitleNotice
