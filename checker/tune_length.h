// How long a tune plays, read from its file's headers (no decoding): wav, mp3 and ogg.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace check {

// The tune's length in milliseconds; nothing when the file is not one of these types or
// its headers do not tell.
std::optional<uint32_t> TuneLength(const std::string& file);

} // namespace check
