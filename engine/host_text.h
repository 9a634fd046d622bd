// What a host's text buffer takes: every text handed out through the command protocol is
// cut to this many bytes (the host's buffer holds 256 with the NUL), so nothing longer is
// ever kept for the host either.
#pragma once

#include <cstddef>

namespace untgz {

constexpr std::size_t maxOutputText = 255;

}  // namespace untgz
