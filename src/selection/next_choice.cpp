// What follows a tune, chosen while it plays so that the worker can make it ready, and the
// change to it once the tune has ended.
#include <cstring>

#include "engine/engine.h"
#include "platform/files.h"
#include "platform/system.h"
#include "core/core.h"
#include "selection/selection.h"

namespace {

// The tune that ends leaves as the plain path's stop would leave it (the extra sound
// silenced, the game's output told of the pause, a grown list saved), but its graph sounds
// its last samples out instead of being stopped.
void LeaveEndedTune() {
    PlayerStateRecord& p = PlayerState;
    if (!p.Playing) return;
    StopExtraSound();
    p.Paused = 1; // as the plain path's pause leaves it: the game's IsPaused answers so
    OutModPause(1);
    p.Playing = false;
    SaveIfModified();
}

// What was chosen ahead is ready and, for an entry, still the table's: the change to it
// will take the prepared graph.
bool ChosenReady() {
    const NextTune::Choice* c = NextTune::Chosen();
    const EntryTable& entries = PlayerState.Entries;
    if (!c || !NextTune::Ready() || !platform::FileExists(c->name)) return false;
    return c->entry < 0 ||
           (c->entry < entries.Count() && std::strcmp(c->entryText, entries.At(c->entry)) == 0);
}

// The prepared tune is ready for the change to `entry`, now current (null: the same tune
// again).
bool PreparedFits(const char* entry) {
    const NextTune::Choice* c = NextTune::Chosen();
    return ChosenReady() && (entry ? c->entry == PlayerState.CurrentEntry : c->entry < 0);
}

} // namespace

int ChooseNextEntry() {
    const PlayerStateRecord& p = PlayerState;
    const Settings& s = PluginSettings;
    const int count = p.Entries.Count();
    if (count == 0) return p.CurrentEntry;
    platform::SeedRandom(platform::GetTickCount());
    int next = 0;
    if (s.LoopRandom > 0)
        next = platform::NextRandom() % count;
    else
        next = p.CurrentEntry + 1 == count ? 0 : p.CurrentEntry + 1;
    if (next == p.CurrentEntry && s.LoopRandom != 0) next = platform::NextRandom() % count;
    return next;
}

void PrepareNext() {
    const PlayerStateRecord& p = PlayerState;
    NextTune::Drop();
    if (!p.Playing || p.EntryStop != 0 || !NextTune::Available()) return;
    NextTune::Choice c;
    if (HasEntries(p.PlayMode) && PluginSettings.ChangeSoundOnLoop != 0) {
        if (p.Entries.Count() == 0) return;
        c.entry = ChooseNextEntry();
        CopyText(c.entryText, p.Entries.At(c.entry), sizeof c.entryText);
        if (p.PlayMode == PlaySource::Playlist) {
            const EntrySplit split = ParseEntry(c.entryText);
            CopyText(c.name, split.name, sizeof c.name);
            c.begin = static_cast<double>(split.beg / 1000);
            c.loop = split.loop > 0 ? split.loop / 1000.0 : 0.0;
            c.fromLoop = c.entry == p.CurrentEntry;
            c.endTrim = static_cast<double>(split.end / 1000);
        } else {
            CopyText(c.name, c.entryText, sizeof c.name);
        }
    } else {
        // The tune plays again in place, from its loop start.
        CopyText(c.name, p.MediaFile, sizeof c.name);
        c.begin = LoopStartSeconds();
        c.endTrim = static_cast<double>(p.EntryEnd / 1000);
    }
    if (c.name[0] == '\0') return;
    NextTune::Prepare(c);
    // Only the tunes of a list or folder fade into one another.
    const int fade = c.entry >= 0 ? PluginSettings.CrossFade : 0;
    CrossFade::Watch(fade > 0 ? static_cast<uint32_t>(fade) : 0);
}

void StepCrossFade() {
    const PlayerStateRecord& p = PlayerState;
    if (CrossFade::Active()) {
        if (!CrossFade::Step()) return;
        CrossFade::End();
        if (NextTune::Chosen()) CrossFade::Watch(static_cast<uint32_t>(PluginSettings.CrossFade));
        return;
    }
    if (!p.Playing || MediaGraph.Held || FadeOut::Active() || !CrossFade::Due() || !ChosenReady())
        return;
    const uint32_t takeOvers = NextTune::TakeOvers();
    if (CrossFade::Length() == 0) {
        // The tune ends here for the player: the next follows at once.
        CrossFade::Unwatch();
        AdvanceAfterTune();
        return;
    }
    // The next tune starts now, silent, and rises as the one playing falls.
    CrossFade::Start(GraphLevel());
    AdvanceAfterTune();
    if (NextTune::TakeOvers() == takeOvers) CrossFade::End();
}

bool StartPrepared(const char* entry) {
    PlayerStateRecord& p = PlayerState;
    if (!PreparedFits(entry)) {
        NextTune::Drop();
        return false;
    }
    if (!entry) { // the same tune again, with its options
        NextTune::TakeOver();
        ReapplyVolume();
        NextTune::Begin();
        CrossFade::ClockStart(NextTune::StartPosition());
        PrepareNext();
        return true;
    }
    p.EntryBeg = 0;
    p.EntryEnd = 0;
    p.EntryLoop = 0;
    p.Hosei = 0;
    char name[kNameSize];
    if (p.PlayMode == PlaySource::Playlist)
        UseEntry(entry, name);
    else
        CopyText(name, entry, sizeof name);
    LeaveEndedTune();
    const double stopTime = NextTune::TakeOver();
    if (p.EntryLoop != 0 && LoopStartSeconds() >= stopTime) p.EntryLoop = 0;
    SetVolume(p.HostVolume == kVolumeUnknown ? 255 : p.HostVolume);
    NextTune::Begin();
    TuneStarted(name, NextTune::StartPosition());
    PrepareNext();
    return true;
}
