// pax extended headers: the records "<length> <key>=<value>\n" of an 'x' header, and what
// they change about the member that follows.
#pragma once

#include <cstdint>
#include <string>

namespace untgz {

// Extended-header values that apply to the next member. An empty value takes a key back
// (the header's own field applies again).
struct PaxOverrides {
  bool hasPath = false, hasSize = false, hasMtime = false;
  std::string path;
  std::int64_t size = 0;
  std::int64_t mtime = 0;  // whole seconds; a fraction is dropped
};

// Reads the records of one extended header into `pax`, later records overriding earlier
// ones. Keys other than path, size, mtime and linkpath are passed over. False for anything
// malformed: a length that does not end at a newline or runs past the data, a record
// without "=" or key, a NUL in a key or a name, a size or time that is no number. NUL
// padding after the last record is allowed, as some writers pad the records with it.
bool parsePaxRecords(const std::string& data, PaxOverrides& pax);

}  // namespace untgz
