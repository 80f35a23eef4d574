// What a play request means, which entry plays first, and what follows a tune's end.
#include <cstring>

#include "engine/engine.h"
#include "platform/media.h"
#include "platform/system.h"
#include "platform/window.h"
#include "core/core.h"
#include "selection/selection.h"
#include "notices/notices.h"

namespace {

constexpr unsigned kExtraSoundFlags =
    platform::kSndFilename | platform::kSndLoop | platform::kSndAsync;

// The extension: after the last '.' that is not the name's first character.
char* FindExtension(char* name) {
    char* dot = std::strrchr(name, '.');
    return dot && dot != name ? dot + 1 : nullptr;
}

void FoldAscii(char* text) {
    for (; *text; ++text)
        *text = AsciiLower(*text);
}

// The entry at `index`, or an empty text when the table has none there.
const char* EntryAt(int index) {
    return PlayerState.Entries.At(index);
}

} // namespace

int Play(const char* name) {
    FinishFadeOut();
    PlayerStateRecord& p = PlayerState;
    p.Paused = 0;
    p.PlayMode = PlaySource::SingleFile;
    p.EntryStop = 0;
    p.EntryLoop = 0;
    p.EntryBeg = 0;
    p.EntryEnd = 0;
    p.Hosei = 0;
    std::memset(p.ExtSound, 0, sizeof p.ExtSound);
    platform::PlaySoundFile(nullptr, 0);
    p.CurrentEntry = 0;
    ExPause::AwaitWorker(); // the game's thread parks here, if the worker asks now
    if (p.Playing) {
        Stop();
        p.Playing = false;
    }
    // Files dropped on the list that is being replaced go into that list now, whether or
    // not a tune was playing.
    SaveIfModified();

    // The media name keeps the caller's case; the request name has its extension folded.
    char media[kNameSize];
    char request[kNameSize];
    CopyText(media, name ? name : "", sizeof media);
    CopyText(request, media, sizeof request);
    char* extension = FindExtension(request);
    if (extension) FoldAscii(extension);

    const RequestKind kind = KindOfRequest(request);
    if (kind == RequestKind::Playlist) {
        if (!UsePlaylist(ReadPlaylist(request))) return -1;
        p.PlayMode = p.Entries.Count() > 0 ? PlaySource::Playlist : PlaySource::EmptyPlaylist;
    } else if (kind == RequestKind::Folder) {
        const Settings& s = PluginSettings;
        const int found = UseFolder(FindMusic(request, s.RndMusicExt, s.Debug >= 1));
        p.PlayMode = found > 0 ? PlaySource::Folder : PlaySource::SingleFile;
    }

    if (HasEntries(p.PlayMode) && p.Entries.Count() > 0) {
        p.CurrentEntry = ChooseStartEntry();
        if (p.PlayMode == PlaySource::Playlist)
            UseEntry(EntryAt(p.CurrentEntry), media);
        else
            CopyText(media, EntryAt(p.CurrentEntry), sizeof media);
    }

    if (PluginSettings.Debug >= 1)
        platform::ShowMessageBox(HostWindow(),
                                 ScratchFormat("file = %s\nmedia = %s", request, media),
                                 ErrorFeedback::kCaption, platform::kMbOk);

    if (p.PlayMode == PlaySource::Playlist && p.Entries.Count() > 0) {
        char entry[kNameSize];
        CopyText(entry, EntryAt(p.CurrentEntry), sizeof entry);
        StartTune(entry);
    } else {
        StartTune(media);
    }

    if (p.ExtSound[0] != '\0') platform::PlaySoundFile(p.ExtSound, kExtraSoundFlags);
    CopyText(p.RequestFile, request, sizeof p.RequestFile);
    CopyText(p.MediaFile, media, sizeof p.MediaFile);

    ScratchClear();
    const char* notice = nullptr;
    if (p.PlayMode == PlaySource::Playlist || p.PlayMode == PlaySource::EmptyPlaylist)
        notice = ScratchFormat("Using Playlist : \"%s\" --- %d Musics detected", p.RequestFile,
                               p.Entries.Count());
    else if (p.PlayMode == PlaySource::Folder)
        notice = ScratchFormat("Folder Play Mode : \"%s\" --- %d Musics detected", p.RequestFile,
                               p.Entries.Count());
    if (notice)
        TitleNotice::Show(notice, PluginSettings.DispWindowTime, TitleNotice::kPlaylistKind);
    return 0;
}

int ChooseStartEntry() {
    const PlayerStateRecord& p = PlayerState;
    const Settings& s = PluginSettings;
    const int n = p.Entries.Count();
    if (n < 1) return 0;
    platform::SeedRandom(platform::GetTickCount());
    if (s.InitRandom == 1 || (s.RndInitRandom == 1 && p.PlayMode == PlaySource::Folder))
        return platform::NextRandom() % n;
    if (s.InitRandom == 2) return static_cast<int>(p.StartupTick % static_cast<uint32_t>(n));
    return 0;
}

void AdvanceAfterTune() {
    PlayerStateRecord& p = PlayerState;
    const Settings& s = PluginSettings;
    if (HasEntries(p.PlayMode) && s.ChangeSoundOnLoop != 0) {
        if (s.Beep >= 2) {
            platform::Sleep(120);
            platform::Beep(1000, 120);
        }
        const int previous = p.CurrentEntry;
        // The entry chosen while the tune played, when it is still in the table.
        const NextTune::Choice* chosen = NextTune::Chosen();
        p.CurrentEntry = chosen && chosen->entry >= 0 && chosen->entry < p.Entries.Count()
                             ? chosen->entry
                             : ChooseNextEntry();
        char entry[kNameSize];
        CopyText(entry, EntryAt(p.CurrentEntry), sizeof entry);
        ErrorFeedback::DebugBox(1, entry, "Next Music Name");
        const bool again = p.CurrentEntry == previous;
        if (p.EntryStop == 0 && again && RestartFromSpare()) return; // keeps its options
        p.Hosei = 0;
        if (p.EntryStop == 0 && StartPrepared(entry)) return;
        if (p.EntryStop == 0 && StartTune(entry, again) == 0)
            ErrorFeedback::FailureBox("RenderAndRun Failed");
        return;
    }
    // The same tune again: from its loop start when the entry has one, else from 0.
    if (RestartFromSpare() || StartPrepared(nullptr)) return;
    SeekGraph(LoopStartSeconds());
    if (NextTune::Remote())
        NextTune::Run();
    else
        platform::Run(MediaGraph.MediaControl);
}

int StartTune(const char* text, bool sameEntryAgain) {
    PlayerStateRecord& p = PlayerState;
    p.EntryBeg = 0;
    p.EntryEnd = 0;
    p.EntryLoop = 0;
    p.Hosei = 0;
    ReleaseLoopSpares(); // they hold the tune that played
    NextTune::Drop();
    if (text[0] == '\0') return 0;
    if (p.PlayMode == PlaySource::EmptyPlaylist) return 0;
    char name[kNameSize];
    if (p.PlayMode == PlaySource::Playlist)
        UseEntry(text, name);
    else
        CopyText(name, text, sizeof name);
    if (p.Playing) {
        PauseDS();
        Stop();
        p.Playing = false;
    }
    const int started = RenderAndRun(name, sameEntryAgain, EntryRepeatsItself());
    if (started == 1) PrepareNext();
    return started;
}

bool EntryRepeatsItself() {
    const PlayerStateRecord& p = PlayerState;
    if (p.PlayMode != PlaySource::Playlist) return false;
    if (PluginSettings.ChangeSoundOnLoop == 0) return true;
    return p.Entries.Count() == 1 && p.EntryStop == 0;
}
