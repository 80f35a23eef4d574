// The console on POSIX: a terminal shows colours; no process waits for a key.
#include "platform/console.h"

#include <unistd.h>

#include "platform/posix/posix.h"

namespace platform {

bool OutputShowsColour() {
    return isatty(STDOUT_FILENO) != 0;
}

bool AloneOnConsole() {
    return false;
}

void WaitForKey() {}

std::string MachinePath(const std::string& name) {
    const posix::Found found = posix::Find(name);
    if (found.exists) return found.path;
    std::string slashed = name;
    for (char& c : slashed)
        if (c == '\\') c = '/';
    return slashed;
}

} // namespace platform
