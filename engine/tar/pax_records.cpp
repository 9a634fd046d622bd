#include "engine/tar/pax_records.h"

#include <algorithm>

#include "engine/tar/numbers.h"

namespace untgz {

namespace {

// Seconds of a pax time: an optional sign, digits, an optional fraction (dropped).
bool parsePaxTime(const std::string& text, std::int64_t& value) {
  std::size_t start = (!text.empty() && text[0] == '-') ? 1 : 0;
  std::string whole = text.substr(start);
  const std::size_t dot = whole.find('.');
  if (dot != std::string::npos) {
    const std::string fraction = whole.substr(dot + 1);
    if (!std::all_of(fraction.begin(), fraction.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return false;
    whole.resize(dot);
  }
  if (!readDecimal(whole, value)) return false;
  if (start) value = -value;
  return true;
}

// GNU tar's sparse records (the key without "GNU.sparse."). The count in numblocks is not
// needed: the map is as long as its records.
bool applySparseRecord(const std::string& key, const std::string& value, PaxSparse& sparse) {
  if (key == "name") {
    if (value.find('\0') != std::string::npos) return false;
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

// One record's key and value, applied to `pax`. False for a value this reader refuses.
bool applyRecord(const std::string& key, const std::string& value, PaxOverrides& pax) {
  if (key == "path") {
    if (value.find('\0') != std::string::npos) return false;
    pax.hasPath = !value.empty();
    pax.path = value;
  } else if (key == "size") {
    if (value.empty()) {
      pax.hasSize = false;
    } else {
      if (!readDecimal(value, pax.size)) return false;
      pax.hasSize = true;
    }
  } else if (key == "mtime") {
    if (value.empty()) {
      pax.hasMtime = false;
    } else {
      if (!parsePaxTime(value, pax.mtime)) return false;
      pax.hasMtime = true;
    }
  } else if (key == "linkpath") {
    if (value.find('\0') != std::string::npos) return false;
  } else if (key.rfind("GNU.sparse.", 0) == 0) {
    return applySparseRecord(key.substr(11), value, pax.sparse);
  }
  return true;
}

}  // namespace

bool parsePaxRecords(const std::string& data, PaxOverrides& pax) {
  std::size_t position = 0;
  while (position < data.size()) {
    if (data[position] == '\0') {
      // Some writers pad the records with NULs.
      if (data.find_first_not_of('\0', position) == std::string::npos) return true;
      return false;
    }
    const std::size_t space = data.find(' ', position);
    if (space == std::string::npos) return false;
    std::int64_t length = 0;
    if (!readDecimal(data.substr(position, space - position), length)) return false;
    if (length <= static_cast<std::int64_t>(space - position) + 1 ||
        length > static_cast<std::int64_t>(data.size() - position))
      return false;
    const std::size_t recordEnd = position + static_cast<std::size_t>(length);
    if (data[recordEnd - 1] != '\n') return false;
    const std::string record = data.substr(space + 1, recordEnd - 1 - (space + 1));
    const std::size_t equals = record.find('=');
    if (equals == std::string::npos || equals == 0) return false;
    const std::string key = record.substr(0, equals);
    if (key.find('\0') != std::string::npos) return false;
    if (!applyRecord(key, record.substr(equals + 1), pax)) return false;
    position = recordEnd;
  }
  return true;
}

}  // namespace untgz
