// Title-bar notices: a queue of at most 20 texts shown in turn in the game window's
// title, counted down by a 333 ms timer, with the game's own title restored at the end.
#include <atomic>
#include <cstring>

#include "platform/window.h"
#include "core/core.h"
#include "notices/notices.h"

namespace TitleNotice {

int32_t Ticks[kSlots];
char Texts[kSlots][256];
uint8_t Flags[kSlots];
int8_t Head = 0;
int8_t Count = 0;
char SavedTitle[256];
bool RefreshPending = true;

namespace {

int8_t Wrap(int slot) {
    return static_cast<int8_t>(((slot % kSlots) + kSlots) % kSlots);
}

// Makes room right behind the shown notice by moving the others one slot on.
int8_t InsertBehindHead() {
    const int8_t slot = Wrap(Head + 1);
    for (int i = Count - 1; i >= 1; --i) {
        const int8_t from = Wrap(Head + i);
        const int8_t to = Wrap(Head + i + 1);
        Ticks[to] = Ticks[from];
        Flags[to] = Flags[from];
        std::memcpy(Texts[to], Texts[from], sizeof Texts[to]);
    }
    return slot;
}

// Notices made on the worker thread wait here for the game's thread: the title and the
// timer belong to the game window, and its thread may be parked or busy. One producer
// (the worker, one at a time) and one consumer (the game's thread).
constexpr uint32_t kDeferredSlots = 4;
struct Deferred {
    char text[256];
    int duration;
    int flags;
};
Deferred DeferredNotices[kDeferredSlots];
std::atomic<uint32_t> DeferredHead{0};
std::atomic<uint32_t> DeferredTail{0};

int Defer(const char* text, int duration, int flags) {
    const uint32_t tail = DeferredTail.load(std::memory_order_relaxed);
    if (tail - DeferredHead.load(std::memory_order_acquire) >= kDeferredSlots) return 0;
    Deferred& slot = DeferredNotices[tail % kDeferredSlots];
    CopyText(slot.text, text, sizeof slot.text);
    slot.duration = duration;
    slot.flags = flags;
    DeferredTail.store(tail + 1, std::memory_order_release);
    return 1;
}

} // namespace

int Show(const char* text, int duration, int flags) {
    if (PluginSettings.DisplayToWindowText == 0) return 0;
    if (OffHostThread()) return Defer(text, duration, flags);
    if (Count >= kSlots) return 0;
    bool showNow = false, keepCount = false;
    int8_t slot = 0;
    if (flags & kShowNow) {
        showNow = true;
        if ((flags & kReplaceable) && (Flags[Head] & kReplaceable)) {
            slot = Head;
            keepCount = Count > 0;
        } else {
            Ticks[Head] = PluginSettings.DispWindowTime;
            Head = Wrap(Head - 1);
            slot = Head;
        }
    } else if (flags & kFollowUp) {
        // Shown right after the notice on show (the error it explains).
        slot = Count == 0 ? Head : InsertBehindHead();
    } else {
        const int kind = (flags & kPlayingKind)    ? kPlayingKind
                         : (flags & kPlaylistKind) ? kPlaylistKind
                                                   : 0;
        slot = Wrap(Head + Count);
        if (kind != 0) {
            for (int i = 0; i < Count; ++i) {
                const int8_t queued = Wrap(Head + i);
                if (Flags[queued] & kind) {
                    slot = queued;
                    keepCount = true;
                    break;
                }
            }
        }
    }
    CopyText(Texts[slot], text, sizeof Texts[slot]);
    Ticks[slot] = duration;
    Flags[slot] = static_cast<uint8_t>(flags);
    if (showNow || Count == 0) {
        platform::WriteWindowTitle(HostWindow(), text);
        if (Count == 0) platform::StartWindowTimer(HostWindow(), kTimerId, kTimerPeriodMs);
    }
    if (!keepCount) ++Count;
    return 1;
}

void ShowDeferred() {
    uint32_t head = DeferredHead.load(std::memory_order_relaxed);
    while (head != DeferredTail.load(std::memory_order_acquire)) {
        const Deferred& slot = DeferredNotices[head % kDeferredSlots];
        Show(slot.text, slot.duration, slot.flags);
        DeferredHead.store(++head, std::memory_order_release);
    }
}

int Tick(platform::Hwnd window) {
    // With no notice queued (a timer message queued before the timer was killed, or one
    // another program posts) nothing is counted down: only the game's title comes back.
    if (Count > 0) {
        if (RefreshPending) platform::WriteWindowTitle(window, Texts[Head]);
        --Ticks[Head];
        if (Ticks[Head] >= 0) {
            RefreshPending = false;
            return 1;
        }
    }
    if (Count > 1) {
        Head = Wrap(Head + 1);
        --Count;
    } else {
        Head = 0;
        platform::WriteWindowTitle(window, SavedTitle);
        platform::StopWindowTimer(window, kTimerId);
        Count = 0;
    }
    RefreshPending = true;
    return 1;
}

void Collapse() {
    if (Count > 0) {
        Ticks[Head] = 0;
        Count = 1;
    }
}

void Reset() {
    std::memset(Ticks, 0, sizeof Ticks);
    std::memset(Texts, 0, sizeof Texts);
    std::memset(Flags, 0, sizeof Flags);
    Head = 0;
    Count = 0;
    RefreshPending = true;
    DeferredHead.store(DeferredTail.load());
}

} // namespace TitleNotice
