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
// end. Every member lands under the root, whatever its name says: leading separators are
// dropped, and a name with a ".." component is refused, as is a name with nothing left.
// Folders for a member are made from this path too, never from the raw name.
//
// NameRules::bytes keeps every byte, as POSIX systems take them; a drive prefix ("c:") is
// dropped, and names of dots only other than ".." ("...") are ordinary names.
//
// NameRules::windows maps every component to a name Windows holds as it is, one way, before
// any other use: the characters Windows refuses ('<', '>', ':', '"', '|', '?', '*' and the
// controls U+0001 to U+001F) become '_', as bsdtar writes them there, so ':' never reaches
// another drive or a stream; a reserved device name (CON, PRN, AUX, NUL, COM0-COM9,
// LPT0-LPT9 with the superscript digits, CONIN$, CONOUT$), with or without an extension
// and in any case, gets a '_' in front; trailing dots and spaces become '_'. A component
// of dots and spaces with two dots or more, which Windows reads as "..", is refused. The
// listing still shows the name the archive holds.
enum class NameRules { bytes, windows };
MemberPath memberPath(const std::string& memberName, std::string& relative,
                      NameRules rules = NameRules::bytes);

}  // namespace untgz
