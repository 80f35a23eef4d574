#pragma once

// Numbers in script lines: "0x" and hex digits, or decimal with an optional sign.

#include <string_view>

namespace host {

bool parse_number(std::string_view text, long long& value);

} // namespace host
