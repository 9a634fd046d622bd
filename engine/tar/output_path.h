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

// Where a symbolic link at `linkRelative` (a path memberPath gave) leads, read lexically
// from the link's folder, the way Python's tarfile "data" filter reads it: `leadsTo`
// receives the target's path below the root (memberPath's form; empty for the root
// itself), and `text` what the link is made to hold: the target as stored with the bytes
// rules, its components mapped as memberPath maps them and backslashes with the Windows
// rules. False for a target that is empty, absolute (a leading separator or, with the
// Windows rules, a drive) or that climbs out of the root on the way.
bool symbolicLinkTarget(const std::string& linkRelative, const std::string& target, NameRules rules,
                        std::string& leadsTo, std::string& text);

}  // namespace untgz
