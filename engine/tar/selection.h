// Member selection: whether an archive member is one the user asked to extract.
#pragma once

#include <string>

namespace untgz {

// True when the member's base name (the part after its last "/" or backslash) matches
// the selection pattern, ignoring letter case. "*" is the only wildcard: a pattern may
// hold one at its start, one at its end and one inside; a pattern with more never
// matches. An empty pattern, "*" and "*.*" select every member with a base name.
bool matchSelection(const std::string& memberName, const std::string& pattern);

}  // namespace untgz
