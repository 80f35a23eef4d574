// The volume: host volume, the entry's correction, the key adjustment and mute
// combined into the graph's level in hundredths of a decibel.
#include <cstdint>
#include <cstdio>

#include "engine/engine.h"
#include "platform/media.h"
#include "platform/window.h"
#include "core/core.h"
#include "notices/notices.h"

namespace {

constexpr int kSilence = -10000;

int AppliedLevel = 0; // what SetVolume gave the graph last

// Host volumes and corrections can be any 32-bit value: compute wide, then bring the
// result back into range so no input overflows.
using Wide = long long;

Wide Magnitude(Wide v) {
    return v < 0 ? -v : v;
}

int Clamp32(Wide v) {
    if (v < INT32_MIN) return INT32_MIN;
    if (v > INT32_MAX) return INT32_MAX;
    return static_cast<int>(v);
}

void DiagnosticBox(int r, int h, int a, int e) {
    if (PluginSettings.Debug < 2) return;
    platform::ShowMessageBox(
        HostWindow(),
        ScratchFormat("Determined volume = %d\n(hosei = %d,Additional(F7F8) = %d,Hikisuu = %d)", r,
                      h, a, e),
        "SetVolume", platform::kMbOk);
}

void VolumeNotice(int shownLevel, int shownAdjust, int adjust, int hosei) {
    const char* note = "";
    if (hosei != 0)
        note = Magnitude(hosei) < 10000 ? "Including playlist volume"
                                        : "Using playlist volume : usual volume is ignored";
    char text[128];
    std::snprintf(text, sizeof text, "Volume : %s%d  (Adjust : %s%d) %s",
                  shownLevel > 255 ? "over " : "", shownLevel > 255 ? 255 : shownLevel,
                  adjust > 0 ? "+" : "", shownAdjust, note);
    TitleNotice::Show(text, PluginSettings.DispWindowTime,
                      TitleNotice::kShowNow | TitleNotice::kReplaceable);
}

} // namespace

void SetVolume(int volume) {
    PlayerStateRecord& p = PlayerState;
    const Settings& s = PluginSettings;
    const int e = s.ForceSetMasterVol > 0 ? s.ForceSetMasterVol : volume;
    const int h = p.Hosei;
    const int a = p.Adjust;
    int r = kSilence;
    int level = 0; // the level the notice shows
    if (p.Muted) {
        r = kSilence;
    } else if (s.VolumeCurve == 0) {
        if (e == 0)
            r = kSilence;
        else if (Magnitude(h) < 10000)
            r = Clamp32(a + 16 * (Wide{h} + e - 255));
        else
            r = Clamp32(a + 16 * (Wide{h % 10000} - 255));
        DiagnosticBox(r, h, a, e);
        if (r > 0) r = 0;
        level = Clamp32((Wide{r} + 10000) * 256 / 10000);
    } else {
        Wide d = kSilence;
        if (e == 0) {
            r = kSilence;
        } else {
            d = Magnitude(h) < 10000 ? Wide{a} + h + e : Wide{a} + (h % 10000);
            Wide b = (d - 255) * 100 / 255;
            if (b > 100) b = 100;
            r = Clamp32(-(b * b));
        }
        DiagnosticBox(r, h, a, e);
        level = Clamp32(d);
    }
    AppliedLevel = r;
    ReapplyVolume();
    OutModSetVolume(e != 0 && !p.Muted ? r : 0);
    if (p.VolumeByKey && s.DisplayToWindowText != 0) {
        if (p.Muted)
            TitleNotice::Show(" [Mute ON]", s.DispWindowTime,
                              TitleNotice::kShowNow | TitleNotice::kReplaceable);
        else
            VolumeNotice(level, s.VolumeCurve == 0 ? a * 256 / 10000 : a, a, h);
    }
    p.VolumeByKey = false;
    if (p.HostVolume == kVolumeUnknown) p.HostVolume = e;
}

int GraphLevel() {
    return CrossFade::Level(FadeOut::Level(AppliedLevel));
}

void ReapplyVolume() {
    if (NextTune::Remote())
        NextTune::Level(GraphLevel());
    else if (MediaGraph.BasicAudio)
        platform::put_Volume(MediaGraph.BasicAudio, GraphLevel());
}

void ForgetAppliedLevel() {
    AppliedLevel = 0;
}
