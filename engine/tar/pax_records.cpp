#include "engine/tar/pax_records.h"

#include <algorithm>

#include "engine/tar/numbers.h"

namespace untgz {

namespace {

// A pax time: an optional sign, digits, an optional fraction of which nanoseconds are
// kept. The instant is split into whole seconds rounded down and the nanoseconds after
// them, so "-1.25" is -2 seconds and 750000000 nanoseconds.
bool parsePaxTime(const std::string& text, std::int64_t& seconds, std::int32_t& nanoseconds) {
  const std::size_t start = (!text.empty() && text[0] == '-') ? 1 : 0;
  std::string whole = text.substr(start);
  nanoseconds = 0;
  const std::size_t dot = whole.find('.');
  if (dot != std::string::npos) {
    const std::string fraction = whole.substr(dot + 1);
    if (!std::all_of(fraction.begin(), fraction.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return false;
    for (std::size_t i = 0; i < 9; ++i)
      nanoseconds = nanoseconds * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
    whole.resize(dot);
  }
  if (!readDecimal(whole, seconds)) return false;
  if (start) {
    seconds = -seconds;
    if (nanoseconds != 0) {
      seconds -= 1;
      nanoseconds = 1000000000 - nanoseconds;
    }
  }
  return true;
}

// GNU tar's sparse records (the key without "GNU.sparse."). The count in numblocks is not
// needed: the map is as long as its records.
bool applySparseRecord(const std::string& key, const std::string& value, PaxSparse& sparse) {
  if (key == "name") {
    sparse.hasName = !value.empty();
    sparse.name = value;
    return true;
  }
  if (key == "map") {
    sparse.map.clear();
    sparse.hasMap = true;
    return value.empty() || parseSparseMapList(value, sparse.map);
  }
  std::int64_t number = 0;
  const bool isNumber = readDecimal(value, number);
  if (key == "size" || key == "realsize") {
    sparse.hasRealSize = isNumber;
    sparse.realSize = number;
    return isNumber || value.empty();
  }
  if (key == "major" || key == "minor") {
    (key == "major" ? sparse.major : sparse.minor) = isNumber ? number : -1;
    return isNumber || value.empty();
  }
  if (key == "offset") {
    // 0.0: each offset opens a segment, the numbytes record after it closes it.
    if (!isNumber || sparse.map.size() >= kMaxSparseSegments) return false;
    sparse.map.push_back({number, -1});
    sparse.hasMap = true;
    return true;
  }
  if (key == "numbytes") {
    if (!isNumber || sparse.map.empty() || sparse.map.back().length != -1) return false;
    sparse.map.back().length = number;
    return true;
  }
  return true;
}

// The text of a path-like value as C-based readers see it: up to its first NUL.
std::string upToNul(const std::string& value) { return value.substr(0, value.find('\0')); }

// One record's key and value, applied to `pax`. A value this reader cannot use leaves the
// header's own field in force, as other readers do; false only for a sparse record
// that cannot be read, since a map with a number missing would put the data in the wrong
// places.
bool applyRecord(const std::string& key, const std::string& value, PaxOverrides& pax) {
  if (key == "path") {
    pax.path = upToNul(value);
    pax.hasPath = !pax.path.empty();
  } else if (key == "size") {
    std::int64_t size = 0;
    if (value.empty()) {
      pax.hasSize = false;
    } else if (readDecimal(value, size)) {
      pax.size = size;
      pax.hasSize = true;
    }
  } else if (key == "mtime") {
    std::int64_t mtime = 0;
    std::int32_t nanoseconds = 0;
    if (value.empty()) {
      pax.hasMtime = false;
    } else if (parsePaxTime(value, mtime, nanoseconds)) {
      pax.mtime = mtime;
      pax.mtimeNanoseconds = nanoseconds;
      pax.hasMtime = true;
    }
  } else if (key == "linkpath") {
    pax.linkPath = upToNul(value);
    pax.hasLinkPath = !pax.linkPath.empty();
  } else if (key.rfind("GNU.sparse.", 0) == 0) {
    if (key == "GNU.sparse.name") return applySparseRecord("name", upToNul(value), pax.sparse);
    return applySparseRecord(key.substr(11), value, pax.sparse);
  }
  return true;
}

bool onlyNuls(const std::string& data, std::size_t from) {
  return from >= data.size() || data.find_first_not_of('\0', from) == std::string::npos;
}

}  // namespace

bool parsePaxRecords(const std::string& data, PaxOverrides& pax) {
  std::size_t position = 0;
  while (position < data.size()) {
    // Some writers pad the records with NULs.
    if (data[position] == '\0') return onlyNuls(data, position);
    const std::size_t space = data.find(' ', position);
    if (space == std::string::npos) return false;
    std::int64_t length = 0;
    if (!readDecimal(data.substr(position, space - position), length)) return false;
    if (length <= static_cast<std::int64_t>(space - position) + 1) return false;
    const auto left = static_cast<std::int64_t>(data.size() - position);
    // The last record without its final newline: counted in the length and left out, or
    // written where the newline belongs. It is passed over, as other readers do; a record
    // whose length does not fit the data any other way leaves nothing to trust after it.
    if (length > left) return length == left + 1 && data.back() != '\n';
    const std::size_t recordEnd = position + static_cast<std::size_t>(length);
    if (data[recordEnd - 1] != '\n') return onlyNuls(data, recordEnd);
    const std::string record = data.substr(space + 1, recordEnd - 1 - (space + 1));
    position = recordEnd;
    // A record with no key, or a key with a NUL in it, says nothing this reader could use.
    const std::size_t equals = record.find('=');
    if (equals == std::string::npos || equals == 0) continue;
    const std::string key = record.substr(0, equals);
    if (key.find('\0') != std::string::npos) continue;
    if (!applyRecord(key, record.substr(equals + 1), pax)) return false;
  }
  return true;
}

}  // namespace untgz
