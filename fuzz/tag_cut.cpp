// The tag cut: the bytes are the music file sound\t.mp3. A file of more than 10 bytes
// that starts with "ID3" and a major version below 5 gets a backup equal to the original;
// it is then cut at 10 plus its syncsafe size (the low 7 bits of bytes 6 to 9), unless
// that lies past its end: afterwards the file equals the original from the cut length on
// (result 1), or is unchanged (result 0). Any other file is unchanged and has no backup.
// A second cut with the backup in place changes nothing. No temporary file is left.
#include "fuzz.h"

namespace {

constexpr const char* kTune = "sound\\t.mp3";
constexpr const char* kTunePath = "C:\\Game\\sound\\t.mp3";
constexpr const char* kBackupPath = "C:\\Game\\sound\\[Backup]t.mp3";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FreshModule();
    PluginSettings.DisplayToWindowText = 1;
    const std::string original(reinterpret_cast<const char*>(data), size);
    sim::AddFile(kTunePath, original);

    const auto* bytes = reinterpret_cast<const unsigned char*>(original.data());
    const bool tagged = size > 10 && original.compare(0, 3, "ID3") == 0 && bytes[3] < 5;
    size_t cut = 10;
    for (size_t i = 6; tagged && i < 10; ++i)
        cut = ((cut - 10) << 7 | (bytes[i] & 0x7Fu)) + 10;
    const bool fits = tagged && cut <= size;

    const int result = CutId3v2Tag(kTune);
    const std::string now = sim::FileText(kTunePath);
    FUZZ_CHECK(result == (fits ? 1 : 0), fuzz::Show(original));
    FUZZ_CHECK(now == (fits ? original.substr(cut) : original), fuzz::Show(original));
    FUZZ_CHECK(sim::HasFile(kBackupPath) == tagged, fuzz::Show(original));
    if (tagged) FUZZ_CHECK(sim::FileText(kBackupPath) == original, "backup");
    FUZZ_CHECK(sim::ListFolder("C:\\Game\\sound").size() == (tagged ? 2u : 1u), "a file was left");
    if (fits)
        FUZZ_CHECK(sim::WindowTitle(sim::kGameWindow) == std::string("ID3tag was cut : ") + kTune,
                   sim::WindowTitle(sim::kGameWindow));

    // The backup is never overwritten, so nothing more is cut while it stands.
    if (tagged) {
        FUZZ_CHECK(CutId3v2Tag(kTune) == 0, "cut again over a backup");
        FUZZ_CHECK(sim::FileText(kTunePath) == now && sim::FileText(kBackupPath) == original,
                   "changed by the second cut");
    }
    fuzz::CheckNothingHeld();
    return 0;
}
