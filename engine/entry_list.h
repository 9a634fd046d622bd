// The entries a listing job records, walked afterwards by the host one at a time
// ("tarinfo", "tarinfo2", the getters) and freed with "tarinfodelete".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/protocol.h"

namespace untgz {

// The host is never handed more of a name than protocol::kMaxOutputText bytes ("tarinfofilename"),
// so a record keeps no more: names of megabytes (pax paths, GNU long names) would
// otherwise all stay in memory until the list is freed.

struct EntryRecord {
  std::string name;  // the first kMaxOutputText bytes of the name stored in the archive
  std::int32_t isDir = 0;
  std::int32_t second = 0;
  std::int32_t minute = 0;
  std::int32_t hour = 0;
  std::int32_t year = 0;
  std::int32_t month = 0;
  std::int32_t day = 0;
  std::int64_t size = 0;
};

// Appends one entry (worker thread, during a listing job), its name cut to kMaxOutputText
// bytes. Returns 0.
std::int32_t addEntry(std::int32_t isDir, std::int32_t second, std::int32_t minute,
                      std::int32_t hour, std::int32_t year, std::int32_t month, std::int32_t day,
                      const std::string& name, std::int64_t size);

// Loads the first (fromStart 0) or the next (fromStart 1) entry into the current entry.
// 1 when an entry was loaded, 0 at the end or on an empty list (the current entry keeps
// its values).
std::int32_t nextEntry(std::int32_t fromStart);

// Frees every entry; the current entry keeps its values. Returns 0.
std::int32_t deleteEntryList();

// The values the getter commands return.
EntryRecord currentEntry();

}  // namespace untgz
