// Where an extracted member is written.
#pragma once

#include <optional>
#include <string>

namespace untgz {

// The path at which a member is written: outputRoot, a backslash unless it ends with
// one, then the member name with "/" turned into backslashes. Every member lands under
// outputRoot, whatever its name says: leading separators and drive prefixes ("c:") of the
// name are dropped, and a name with a ".." component (or one that Windows would read as
// "..", such as "..." or ".. ") gives nothing, as do a name with nothing left and an
// empty outputRoot. The caller skips a member that gets nothing. Folders for a member are
// made from this path too (createDirectoryPath on it, or on its part before the last
// backslash), never from the raw name.
std::optional<std::string> buildOutputPath(const std::string& outputRoot,
                                           const std::string& memberName);

}  // namespace untgz
