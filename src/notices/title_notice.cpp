// Title-bar notices: a queue of at most 20 texts shown in turn in the game window's
// title, counted down by a 333 ms timer, with the game's own title restored at the end.
#include <atomic>
#include <cstring>

#include "platform/window.h"
#include "core/core.h"
#include "notices/notices.h"

namespace TitleNotice {

NoticeQueue Queue;

namespace {

int8_t Wrap(int slot) {
    return static_cast<int8_t>(((slot % kSlots) + kSlots) % kSlots);
}

// Makes room right behind the shown notice by moving the others one slot on.
int8_t InsertBehindHead() {
    const int8_t slot = Wrap(Queue.Head + 1);
    for (int i = Queue.Count - 1; i >= 1; --i) {
        const int8_t from = Wrap(Queue.Head + i);
        const int8_t to = Wrap(Queue.Head + i + 1);
        Queue.Ticks[to] = Queue.Ticks[from];
        Queue.Flags[to] = Queue.Flags[from];
        std::memcpy(Queue.Texts[to], Queue.Texts[from], sizeof Queue.Texts[to]);
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
struct DeferredRing {
    Deferred notices[kDeferredSlots];
    std::atomic<uint32_t> head{0};
    std::atomic<uint32_t> tail{0};
};
DeferredRing Waiting;

int Defer(const char* text, int duration, int flags) {
    const uint32_t tail = Waiting.tail.load(std::memory_order_relaxed);
    if (tail - Waiting.head.load(std::memory_order_acquire) >= kDeferredSlots) return 0;
    Deferred& slot = Waiting.notices[tail % kDeferredSlots];
    CopyText(slot.text, text, sizeof slot.text);
    slot.duration = duration;
    slot.flags = flags;
    Waiting.tail.store(tail + 1, std::memory_order_release);
    return 1;
}

} // namespace

int Show(const char* text, int duration, int flags) {
    if (PluginSettings.DisplayToWindowText == 0) return 0;
    if (OffHostThread()) return Defer(text, duration, flags);
    if (Queue.Count >= kSlots) return 0;
    bool showNow = false, keepCount = false;
    int8_t slot = 0;
    if (flags & kShowNow) {
        showNow = true;
        if ((flags & kReplaceable) && (Queue.Flags[Queue.Head] & kReplaceable)) {
            slot = Queue.Head;
            keepCount = Queue.Count > 0;
        } else {
            Queue.Ticks[Queue.Head] = PluginSettings.DispWindowTime;
            Queue.Head = Wrap(Queue.Head - 1);
            slot = Queue.Head;
        }
    } else if (flags & kFollowUp) {
        // Shown right after the notice on show (the error it explains).
        slot = Queue.Count == 0 ? Queue.Head : InsertBehindHead();
    } else {
        const int kind = (flags & kPlayingKind)    ? kPlayingKind
                         : (flags & kPlaylistKind) ? kPlaylistKind
                                                   : 0;
        slot = Wrap(Queue.Head + Queue.Count);
        if (kind != 0) {
            for (int i = 0; i < Queue.Count; ++i) {
                const int8_t queued = Wrap(Queue.Head + i);
                if (Queue.Flags[queued] & kind) {
                    slot = queued;
                    keepCount = true;
                    break;
                }
            }
        }
    }
    CopyText(Queue.Texts[slot], text, sizeof Queue.Texts[slot]);
    Queue.Ticks[slot] = duration;
    Queue.Flags[slot] = static_cast<uint8_t>(flags);
    if (showNow || Queue.Count == 0) {
        platform::WriteWindowTitle(HostWindow(), text);
        if (Queue.Count == 0) platform::StartWindowTimer(HostWindow(), kTimerId, kTimerPeriodMs);
    }
    if (!keepCount) ++Queue.Count;
    return 1;
}

void ShowDeferred() {
    uint32_t head = Waiting.head.load(std::memory_order_relaxed);
    while (head != Waiting.tail.load(std::memory_order_acquire)) {
        const Deferred& slot = Waiting.notices[head % kDeferredSlots];
        Show(slot.text, slot.duration, slot.flags);
        Waiting.head.store(++head, std::memory_order_release);
    }
}

int Tick(platform::Hwnd window) {
    // With no notice queued (a timer message queued before the timer was killed, or one
    // another program posts) nothing is counted down: only the game's title comes back.
    if (Queue.Count > 0) {
        if (Queue.RefreshPending) platform::WriteWindowTitle(window, Queue.Texts[Queue.Head]);
        --Queue.Ticks[Queue.Head];
        if (Queue.Ticks[Queue.Head] >= 0) {
            Queue.RefreshPending = false;
            return 1;
        }
    }
    if (Queue.Count > 1) {
        Queue.Head = Wrap(Queue.Head + 1);
        --Queue.Count;
    } else {
        Queue.Head = 0;
        platform::WriteWindowTitle(window, Queue.SavedTitle);
        platform::StopWindowTimer(window, kTimerId);
        Queue.Count = 0;
    }
    Queue.RefreshPending = true;
    return 1;
}

void Collapse() {
    if (Queue.Count > 0) {
        Queue.Ticks[Queue.Head] = 0;
        Queue.Count = 1;
    }
}

void Reset() {
    // The game's own title stays: it is what the notices give back.
    char saved[sizeof Queue.SavedTitle];
    CopyText(saved, Queue.SavedTitle, sizeof saved);
    Queue = NoticeQueue{};
    CopyText(Queue.SavedTitle, saved, sizeof Queue.SavedTitle);
    Waiting.head.store(Waiting.tail.load());
}

} // namespace TitleNotice
