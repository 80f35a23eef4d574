// The console a command-line program writes to: whether its output shows colours, whether
// the program has its console to itself (started by a double-click), a key to wait for
// before that console closes, and the names of the files it links to as this machine
// stores them.
#pragma once
#include <string>

namespace platform {

// True when standard output is a terminal (a console) that shows colour escape codes;
// on Windows this turns them on for the console.
bool OutputShowsColour();

// True when this process is the only one on its console (GetConsoleProcessList gives 1:
// the console was made for it, as for a double-click) and standard input is that console.
// Started from a command prompt or by a program, or on POSIX, false.
bool AloneOnConsole();

// Waits until a key is pressed on the console.
void WaitForKey();

// A name of the game folder (relative, as the game writes it) as this machine stores the
// file: UTF-8, parts separated by '/'. The name as written, slashed, when it is found
// nowhere.
std::string MachinePath(const std::string& name);

} // namespace platform
