// The job that the command table starts and the worker thread runs: the state the host
// thread and the worker share, the start of a job, the worker, and the percentage.
//
// Values that cross threads are atomics. The worker stores everything a finished job
// leaves behind (result, counters, entry list, error text) before it stores jobStatus 0
// with release order; the host loads jobStatus with acquire order and reads the rest only
// after it has seen 0.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "host_text.h"

namespace untgz {


// Job result codes (read by the host with "getintret").
enum JobResultCode : std::int32_t {
  resultOk = 0,            // ran to the end, or cancelled, and the archive closed cleanly
  resultCloseError = 3,    // the gzip layer reported damaged or cut-off data
  resultNotOpened = 5,     // the archive could not be opened, or the worker not started
  resultShortBlock = 8,    // the archive ended inside a block or is not a readable tar
  resultMembersNotExtracted = 9,  // the archive was read, but members were not extracted
  resultDestinationBase = 40,  // 40 + path code: the destination was refused
};

// Why a member was not extracted; "getfailure" answers these numbers.
enum class MemberFailure : std::int32_t {
  unsafeName = 1,          // a ".." component: the name leads out of the destination
  noName = 2,              // nothing is left of the name
  linkOnTheWay = 3,        // a folder of the path is a link, which is not followed
  fileOnTheWay = 4,        // a file stands where a folder of the path must be
  folderInTheWay = 5,      // a folder stands where the file must be
  isTheArchive = 6,        // the file would replace the archive being read
  pathTooLong = 7,         // the system cannot take a path this long
  folderNotCreated = 8,    // a folder of the path could not be made
  fileNotCreated = 9,      // the file could not be made (access, a name the system refuses)
  notReplaced = 10,        // what is at the path could not be removed
  notWritten = 11,         // a write or the close failed; the partial file is removed
  diskFull = 12,           // no space left: the file is removed and the job ends
};

// The text of a reason, for hosts that show which members were left out.
const char* memberFailureText(MemberFailure reason);

// The members a job did not extract: every one is counted; the first `keptFailures` are
// kept with their names, cut to what a host buffer takes, so a hostile archive cannot make
// the log grow without bound.
class FailureLog {
 public:
  static constexpr std::size_t keptFailures = 1000;

  void clear();
  void add(const std::string& name, MemberFailure reason);
  std::int64_t count() const;
  // False when no failure is kept at that index.
  bool at(std::size_t index, std::string& name, MemberFailure& reason) const;

 private:
  struct Entry {
    std::string name;
    MemberFailure reason;
  };
  mutable std::mutex lock_;
  std::vector<Entry> kept_;
  std::int64_t count_ = 0;
};

struct JobState {
  std::atomic<std::int32_t> jobStatus{0};
  std::atomic<std::int32_t> jobResult{0};
  std::atomic<std::int32_t> pauseFlag{0};
  std::atomic<std::int32_t> cancelFlag{0};
  std::atomic<std::int32_t> listMode{0};
  std::atomic<std::int32_t> dirCount{0};
  std::atomic<std::int32_t> fileCount{0};
  std::atomic<std::int32_t> finishedValue{0};
  std::atomic<std::int32_t> compressionLevel{6};
  // Size of the archive file and how far into the file the job has read; the percentage is
  // one over the other, so a compressed archive runs from 0 to 100 like a plain one.
  std::atomic<std::int64_t> archiveSize{0};
  std::atomic<std::int64_t> archivePosition{0};
  // Bytes of the tar stream (after decompression) handed to the walk so far.
  std::atomic<std::uint64_t> bytesConsumed{0};

  // Written by the host thread before the worker starts, read only by the worker.
  std::string jobArchive;
  std::string jobDestination;
  std::string jobSelection;

  // The members the current or last extraction did not extract.
  FailureLog failures;

  // Message of the last destination failure; never cleared.
  std::string errorText() const;
  void setErrorText(const std::string& text);

 private:
  mutable std::mutex errorTextLock_;
  std::string errorText_;
};

JobState& jobState();

// Behind "zaxuntar" and "uncompress": -1 while a job runs, else 0. The job's outcome is
// read afterwards with "getintret".
std::int32_t startExtractJob(const std::string& archive, const std::string& destination,
                             const std::string& selection);
std::int32_t startUncompressJob(const std::string& archive, const std::string& destination);

// 0 to 100: how far the current or last job has read its archive file.
std::int32_t getPercentage();

// Size of a file in bytes, 0 when it cannot be opened.
std::int64_t fileSizeOf(const std::string& path);

// Clamps a 64-bit count to what a 32-bit protocol result can carry.
inline std::int32_t saturate32(std::int64_t value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

}  // namespace untgz
