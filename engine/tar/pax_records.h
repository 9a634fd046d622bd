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
  bool hasPath = false, hasSize = false, hasMtime = false, hasLinkPath = false;
  std::string path;
  std::int64_t size = 0;
  std::int64_t mtime = 0;               // seconds, rounded down
  std::int32_t mtimeNanoseconds = 0;    // and the nanoseconds after them (0 to 999999999)
  std::string linkPath;
  PaxSparse sparse;
};

// Reads the records of one extended header into `pax`, later records overriding earlier
// ones. Keys other than path, size, mtime, linkpath and GNU tar's sparse keys are passed over.
//
// Records are read as GNU tar, bsdtar and Python's tarfile read them: a record that says
// nothing usable is passed over and the header's own field stays in force (a size or time
// that is no number or has anything after it, a record without "=" or key, a NUL in a
// key, the last record without its final newline), and a path is taken up to a NUL in it.
// False, ending the walk, only where the records themselves cannot be told apart (a
// length that is no number, does not end at a newline before the next record or runs
// past the data) and for GNU tar's sparse records that cannot be read (a number that is
// no number, a length without its offset, a map past kMaxSparseSegments), which would put
// a file's data in the wrong places. NUL padding after the last record is allowed, as
// some writers pad the records with it.
bool parsePaxRecords(const std::string& data, PaxOverrides& pax);

}  // namespace untgz
