// Where an extracted member is written, below the output root.
#pragma once

#include <string>

namespace untgz {

enum class MemberPath {
  ok,        // `relative` holds the path below the output root
  climbsUp,  // a ".." component (or one Windows reads as "..")
  empty,     // nothing is left of the name
};

// The path below the output root at which a member is written: the member name with "/"
// turned into backslashes, "." and empty components dropped, and no separator at either
// end. Every member lands under the root, whatever its name says: leading separators and
// drive prefixes ("c:") are dropped, and a name with a ".." component (or one that Windows
// would read as "..", such as "..." or ".. ") is refused, as is a name with nothing left.
// Folders for a member are made from this path too, never from the raw name.
MemberPath memberPath(const std::string& memberName, std::string& relative);

}  // namespace untgz
