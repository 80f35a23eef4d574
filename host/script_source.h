#pragma once

// Where the script lines come from: a file read whole at the start, standard input read by a
// thread of its own (the window thread keeps pumping while it waits for the next line), or a
// list made up by the host itself.

#include <memory>
#include <string>
#include <vector>

namespace host {

class ScriptSource {
  public:
    virtual ~ScriptSource() = default;
    // The next line without its line end; false at the end of the script.
    virtual bool next(std::string& line) = 0;
};

// "-" means standard input. Null if the file can't be read.
std::unique_ptr<ScriptSource> open_script(const std::string& path);

std::unique_ptr<ScriptSource> script_from_lines(std::vector<std::string> lines);

} // namespace host
