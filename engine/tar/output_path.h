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
//
// With NameRules::windows the characters Windows refuses in a name ('<', '>', ':', '"',
// '|', '?', '*' and the controls U+0001 to U+001F) become '_', as bsdtar writes them there:
// a name is written under the nearest name the system takes instead of being left out,
// and none of them can act as a wildcard or a stream name (":"). The listing still shows
// the name the archive holds. NameRules::bytes keeps every byte, as POSIX systems take
// them.
enum class NameRules { bytes, windows };
MemberPath memberPath(const std::string& memberName, std::string& relative,
                      NameRules rules = NameRules::bytes);

}  // namespace untgz
