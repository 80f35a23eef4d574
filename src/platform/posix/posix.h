// What the POSIX back-end's files share: the last-error code, the code page of the
// game's names, and how a Windows name is found on this machine.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace platform::posix {

// The code page the game's names are written in (UseCodePage's; 1252 until chosen).
uint32_t NameCodePage();
void SetError(uint32_t code);

// A name as the game would hand it to Windows, found on this machine as Windows would
// find it: '\' and '/' both separate parts, between characters of the game's code page
// (the second byte of a double-byte character never does); each part matches a file or
// folder name in any letter case, as written (the raw bytes) or once the machine's UTF-8
// name is turned into the game's code page; "." and ".." step as Windows does, before
// anything is looked up; the last part loses its trailing blanks and dots, a folder part
// one final dot. A name that starts with a separator starts at the root; a drive letter
// is found nowhere.
struct Found {
    std::string path; // the POSIX path (the parts not found as written)
    bool exists;      // the whole name was found
    bool folders;     // every folder before the last part was found
    bool folder;      // what was found is a folder
};
Found Find(std::string_view name);

// A name of this machine in the game's code page: UTF-8 turned into it (a character it
// lacks becomes '?', as Windows gives it); any other bytes stay as they are.
std::string ToGameName(const std::string& machineName);

// ASCII letters compared without regard to case, outside the double-byte characters of
// the game's code page; every other byte as it is.
bool SameName(std::string_view a, std::string_view b);

} // namespace platform::posix
