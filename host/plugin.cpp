#include "plugin.h"

#include "log.h"

#include <cstring>

namespace host {

namespace {

HMODULE g_module = nullptr;
InModule* g_record = nullptr;

constexpr size_t k_extensions_limit = 65536;

// The whole FileExtensions block, each string followed by its NUL, up to and including the
// empty string that ends it.
std::string extensions_block(const char* block) {
    if (block == nullptr) return "null";
    std::string raw;
    size_t at = 0;
    while (at < k_extensions_limit) {
        size_t len = strnlen(block + at, k_extensions_limit - at);
        raw.append(block + at, len);
        raw += '\0';
        at += len + 1;
        if (len == 0) break;
    }
    return quote(raw);
}

// The names of the record's function slots left null, comma-separated ("none" if none).
std::string null_slots(const InModule& r) {
    struct Slot {
        const char* name;
        bool null;
    };
    const Slot slots[] = {
        {"Config", r.Config == nullptr},
        {"About", r.About == nullptr},
        {"Init", r.Init == nullptr},
        {"Quit", r.Quit == nullptr},
        {"GetFileInfo", r.GetFileInfo == nullptr},
        {"InfoBox", r.InfoBox == nullptr},
        {"IsOurFile", r.IsOurFile == nullptr},
        {"Play", r.Play == nullptr},
        {"Pause", r.Pause == nullptr},
        {"UnPause", r.UnPause == nullptr},
        {"IsPaused", r.IsPaused == nullptr},
        {"Stop", r.Stop == nullptr},
        {"GetLength", r.GetLength == nullptr},
        {"GetOutputTime", r.GetOutputTime == nullptr},
        {"SetOutputTime", r.SetOutputTime == nullptr},
        {"SetVolume", r.SetVolume == nullptr},
        {"SetPan", r.SetPan == nullptr},
        {"SAVSAInit", r.SAVSAInit == nullptr},
        {"SAVSADeInit", r.SAVSADeInit == nullptr},
        {"SAAddPCMData", r.SAAddPCMData == nullptr},
        {"SAGetMode", r.SAGetMode == nullptr},
        {"SAAdd", r.SAAdd == nullptr},
        {"VSAAddPCMData", r.VSAAddPCMData == nullptr},
        {"VSAGetMode", r.VSAGetMode == nullptr},
        {"VSAAdd", r.VSAAdd == nullptr},
        {"VSASetInfo", r.VSASetInfo == nullptr},
        {"dsp_isactive", r.dsp_isactive == nullptr},
        {"dsp_dosamples", r.dsp_dosamples == nullptr},
        {"EQSet", r.EQSet == nullptr},
        {"SetInfo", r.SetInfo == nullptr},
    };
    std::string out;
    for (const Slot& slot : slots) {
        if (!slot.null) continue;
        if (!out.empty()) out += ',';
        out += slot.name;
    }
    return out.empty() ? "none" : out;
}

void log_record(const InModule& r) {
    std::string line = "record version=" + hex(static_cast<unsigned long>(r.version));
    line += " description=" + (r.description != nullptr ? quote(r.description) : "null");
    line += " extensions=" + extensions_block(r.FileExtensions);
    line += " seekable=" + std::to_string(r.is_seekable);
    line += " usesoutput=" + std::to_string(r.UsesOutputPlug);
    line += " nullslots=" + null_slots(r);
    log_event(line);
}

} // namespace

bool plugin_load(const PluginSettings& settings) {
    char full[MAX_PATH * 2];
    DWORD n = GetFullPathNameA(settings.path.c_str(), sizeof(full), full, nullptr);
    std::string path = (n > 0 && n < sizeof(full)) ? std::string(full, n) : settings.path;

    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) {
        log_event("error LoadLibrary " + quote(path) +
                  " failed: " + std::to_string(GetLastError()));
        return false;
    }
    // FARPROC to our own cdecl type, through the generic function pointer type.
    auto get = reinterpret_cast<GetInModuleFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "winampGetInModule2")));
    if (get == nullptr) {
        log_event("error " + quote(path) + " has no winampGetInModule2 export");
        FreeLibrary(module);
        return false;
    }
    InModule* record = get();
    if (record == nullptr) {
        log_event("error winampGetInModule2 returned null");
        FreeLibrary(module);
        return false;
    }
    record->hMainWindow = settings.window;
    record->hDllInstance = module;
    record->outMod = settings.output;
    g_module = module;
    g_record = record;
    log_record(*record);
    return true;
}

void plugin_free() {
    if (g_module == nullptr) return;
    // Any address inside the image tells afterwards whether it is still mapped.
    auto inside = reinterpret_cast<LPCSTR>(g_module);
    FreeLibrary(g_module);
    g_module = nullptr;
    g_record = nullptr;
    HMODULE still = nullptr;
    BOOL mapped = GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                     inside, &still);
    log_event(std::string("free unloaded=") + (mapped ? "0" : "1"));
}

InModule* plugin_record() {
    return g_record;
}

} // namespace host
