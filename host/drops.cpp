#include "drops.h"

#include "log.h"

#include <shlobj.h>

#include <cstring>

namespace host {

namespace {

std::string full_name(const std::string& name) {
    char full[MAX_PATH];
    DWORD n = GetFullPathNameA(name.c_str(), sizeof(full), full, nullptr);
    return n > 0 && n < sizeof(full) ? std::string(full, n) : name;
}

} // namespace

void post_drop(HWND window, const std::vector<std::string>& names) {
    std::vector<std::string> full;
    size_t bytes = sizeof(DROPFILES) + 1;
    for (const std::string& name : names) {
        full.push_back(full_name(name));
        bytes += full.back().size() + 1;
    }
    bool accepts = (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0;
    std::string line = accepts ? "drop accept=1" : "drop accept=0";
    for (const std::string& name : full) {
        line += ' ';
        line += quote(name);
    }

    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    auto* header = block != nullptr ? static_cast<DROPFILES*>(GlobalLock(block)) : nullptr;
    if (header == nullptr) {
        log_event(line + " -> error " + std::to_string(GetLastError()));
        if (block != nullptr) GlobalFree(block);
        return;
    }
    header->pFiles = sizeof(DROPFILES);
    header->pt = POINT{0, 0};
    header->fNC = FALSE;
    header->fWide = FALSE;
    char* at = reinterpret_cast<char*>(header) + sizeof(DROPFILES);
    for (const std::string& name : full) {
        std::memcpy(at, name.c_str(), name.size() + 1);
        at += name.size() + 1;
    }
    *at = '\0';
    GlobalUnlock(block);
    if (!PostMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(block), 0)) {
        log_event(line + " -> error " + std::to_string(GetLastError()));
        GlobalFree(block);
        return;
    }
    log_event(line + " -> posted");
}

} // namespace host
