// pax extended headers: the records "<length> <key>=<value>\n" of an 'x' header, and what
// they change about the member that follows.
#pragma once

#include <cstdint>
#include <string>

#include "engine/tar/sparse.h"

namespace untgz {

// What GNU tar's sparse records say. Which form a member uses follows from the records:
// a map (GNU.sparse.map, or GNU.sparse.offset/numbytes pairs) with the real size in
// GNU.sparse.size is 0.0 or 0.1; major 1 and minor 0 is 1.0, whose map starts the data.
struct PaxSparse {
  bool hasName = false, hasRealSize = false, hasMap = false;
  std::string name;  // the file's real name (the header holds a placeholder)
  std::int64_t realSize = 0;
  SparseMap map;
  std::int64_t major = -1, minor = -1;

  bool mapInData() const { return major == 1 && minor == 0; }
  bool mapInRecords() const { return hasMap && hasRealSize; }
};

// Extended-header values that apply to the next member. An empty value takes a key back
// (the header's own field applies again).
struct PaxOverrides {
  bool hasPath = false, hasSize = false, hasMtime = false;
  std::string path;
  std::int64_t size = 0;
  std::int64_t mtime = 0;  // whole seconds; a fraction is dropped
  PaxSparse sparse;
};

// Reads the records of one extended header into `pax`, later records overriding earlier
// ones. Keys other than path, size, mtime, linkpath and GNU tar's sparse keys are passed
// over. False for anything malformed: a length that does not end at a newline or runs past
// the data, a record without "=" or key, a NUL in a key or a name, a size, time or sparse
// number that is no number, a sparse length without its offset, a map past
// kMaxSparseSegments. NUL padding after the last record is allowed, as some writers pad
// the records with it.
bool parsePaxRecords(const std::string& data, PaxOverrides& pax);

}  // namespace untgz
