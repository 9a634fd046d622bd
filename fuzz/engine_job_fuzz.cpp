// libFuzzer target: any byte string, run as a host runs it through the engine's command
// protocol. A listing job, then every command word the control sends for each entry of the
// list; then an extraction job into a private folder on a memory file system, and the
// members it left out as a host reads them. The archive is opened by the job itself, so
// every compression the engine reads is read here too.
//
// Checked: no crash, leak or sanitizer report; results only from the job's own set; the
// texts handed out fit the host's buffers; the listing counts what it lists; and nothing
// the extraction makes leaves its destination: nothing beside it in the private folder, no
// symbolic link whose target lies outside, no hard link to a file outside.
//   cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DZAX_FUZZ=ON
//   cmake --build build/fuzz --target engine_job_fuzz
//   mkdir -p build/fuzz/job-corpus build/fuzz/seeds-gz
//   for f in tests/data/conformance/*.tar fuzz/seeds/*.tar; do gzip -9nc $f > build/fuzz/seeds-gz/${f##*/}.gz; done
//   nice -n 10 build/fuzz/fuzz/engine_job_fuzz -timeout=30 -rss_limit_mb=2048 build/fuzz/job-corpus \
//     tests/data fuzz/seeds build/fuzz/seeds-gz
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/protocol.h"
#include "common/unique_resource.h"
#include "engine/commands.h"
#include "engine/engine.h"

namespace fs = std::filesystem;
namespace protocol = untgz::protocol;

namespace {

[[noreturn]] void fail(const char* what, const std::string& detail = std::string()) {
  std::fprintf(stderr, "engine_job_fuzz: %s %s\n", what, detail.c_str());
  std::abort();
}

// Where the private folders go: a memory file system when there is one.
std::string scratchRoot() {
  std::error_code error;
  return fs::is_directory("/dev/shm", error) ? "/dev/shm" : fs::temp_directory_path().string();
}

// The engine's form of a native path (drive Z: is the root).
std::string enginePath(const std::string& native) {
  std::string path = "Z:" + native;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

class Host {
 public:
  explicit Host(untgz::Engine& engine) : engine_(engine) {}

  std::int32_t call(const char* word, std::intptr_t a = 0, std::intptr_t b = 0, std::intptr_t c = 0) {
    return untgz::dispatchCommand(engine_, word, a, b, c);
  }

  // A text result in a buffer of exactly the size the host gives, followed by a guard that
  // must stay untouched.
  std::string text(const char* word, std::size_t bufferSize, std::intptr_t second = 0,
                   std::intptr_t third = 0, std::int32_t* answer = nullptr) {
    std::vector<char> buffer(bufferSize + 8, ' ');
    const std::int32_t result = call(word, reinterpret_cast<std::intptr_t>(buffer.data()), second, third);
    if (answer) *answer = result;
    // "getfailure" writes nothing when it has no failure at the index.
    const bool written = !answer || result != 0;
    if (written && !std::memchr(buffer.data(), 0, bufferSize)) fail("text without its NUL in the host's buffer:", word);
    for (std::size_t i = bufferSize; i < buffer.size(); ++i)
      if (buffer[i] != ' ') fail("text past the host's buffer:", word);
    return written ? std::string(buffer.data()) : std::string();
  }

  // Starts a job and waits for its worker, then reads "status" as the host would.
  std::int32_t runJob(std::int32_t listMode, const std::string& archive, const std::string& destination,
                      const std::string& selection) {
    call(protocol::kSetListMode.narrow, listMode);
    if (call(protocol::kExtract.narrow, reinterpret_cast<std::intptr_t>(archive.c_str()),
             reinterpret_cast<std::intptr_t>(destination.c_str()),
             reinterpret_cast<std::intptr_t>(selection.c_str())) != 0)
      fail("a job was refused while none ran");
    engine_.waitForWorker();
    if (call(protocol::kStatus.narrow) != 0) fail("status 1 after the worker ended");
    return call(protocol::kResult.narrow);
  }

 private:
  untgz::Engine& engine_;
};

// The listing as the control reads it: "tarinfo", every getter, "tarinfo2", ..., then
// "tarinfodelete". Names through the UTF-8 word, with the buffer's size, as the control
// reads them, and through the ANSI word into the 256 bytes its callers give.
void listAsTheControlDoes(Host& host, const std::string& archive) {
  const std::int32_t result = host.runJob(1, archive, "c:\\", "*.*");
  if (result != protocol::kResultOk && result != protocol::kResultDamaged &&
      result != protocol::kResultNotATar)
    fail("listing result", std::to_string(result));
  std::int64_t listed = 0, dirs = 0;
  if (host.call(protocol::kFirstEntry.narrow) != 0) {
    do {
      const std::int32_t isDir = host.call(protocol::kEntryIsDirectory.narrow);
      const std::int32_t second = host.call(protocol::kEntrySecond.narrow);
      const std::int32_t minute = host.call(protocol::kEntryMinute.narrow);
      const std::int32_t hour = host.call(protocol::kEntryHour.narrow);
      const std::int32_t year = host.call(protocol::kEntryYear.narrow);
      const std::int32_t month = host.call(protocol::kEntryMonth.narrow);
      const std::int32_t day = host.call(protocol::kEntryDay.narrow);
      constexpr std::size_t kNameBuffer = 1024;
      const std::string name = host.text(protocol::kEntryNameUtf8.narrow, kNameBuffer, kNameBuffer);
      host.text(protocol::kEntryName.narrow, protocol::kHostBufferSize);
      const std::int32_t size = host.call(protocol::kEntrySize.narrow);
      host.call(protocol::kDirectoryCount.narrow);
      host.call(protocol::kFileCount.narrow);
      if (isDir != 0 && isDir != 1) fail("isdir", std::to_string(isDir));
      if (size < 0 || (isDir == 1 && size != 0)) fail("size", std::to_string(size));
      if (second < 0 || second > 60 || minute < 0 || minute > 59 || hour < 0 || hour > 23 ||
          month < 0 || month > 12 || day < 0 || day > 31 || (month == 0) != (day == 0) ||
          (month == 0 && year != 0))
        fail("calendar", std::to_string(year) + "-" + std::to_string(month) + "-" + std::to_string(day));
      ++listed;
      dirs += isDir;
    } while (host.call(protocol::kNextEntry.narrow) != 0);
    if (host.call(protocol::kNextEntry.narrow) != 0) fail("tarinfo2 after the end");
  }
  if (host.call(protocol::kDirectoryCount.narrow) != dirs ||
      host.call(protocol::kFileCount.narrow) != listed - dirs)
    fail("counts differ from the list");
  host.call(protocol::kDeleteEntries.narrow);
  if (host.call(protocol::kFirstEntry.narrow) != 0) fail("entries after tarinfodelete");
}

// Every path below `folder` (not following links), with what it is.
void collect(const fs::path& folder, std::vector<fs::path>& found) {
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    found.push_back(it->path());
    if (it->symlink_status(error).type() == fs::file_type::directory) collect(it->path(), found);
  }
}

bool inside(const fs::path& path, const fs::path& root) {
  const std::string p = path.lexically_normal().string(), r = root.lexically_normal().string();
  return p == r || (p.size() > r.size() && p.compare(0, r.size(), r) == 0 && p[r.size()] == '/');
}

// Nothing the extraction made leads out of `destination`.
void checkConfined(const fs::path& sandbox, const fs::path& archive, const fs::path& destination) {
  std::error_code error;
  for (fs::directory_iterator it(sandbox, error), end; !error && it != end; it.increment(error))
    if (it->path() != archive && it->path() != destination) fail("made outside:", it->path().string());
  std::vector<fs::path> found;
  collect(destination, found);
  std::map<std::pair<dev_t, ino_t>, nlink_t> links;
  for (const fs::path& path : found) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) continue;
    if (S_ISLNK(status.st_mode)) {
      const fs::path target = fs::read_symlink(path, error);
      if (error) continue;
      const fs::path resolved = target.is_absolute() ? target : path.parent_path() / target;
      // Lexically: a link whose own parent is a link is caught where that link is checked.
      if (!inside(resolved, destination)) fail("link leads out:", path.string() + " -> " + target.string());
    } else if (S_ISREG(status.st_mode) && status.st_nlink > 1) {
      ++links[{status.st_dev, status.st_ino}];
    }
    if ((status.st_mode & (S_ISUID | S_ISGID | S_ISVTX)) != 0)
      fail("setuid, setgid or sticky bit:", path.string());
  }
  for (const fs::path& path : found) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_nlink <= 1) continue;
    if (links[{status.st_dev, status.st_ino}] != status.st_nlink)
      fail("hard link to a file outside:", path.string());
  }
}

// Removes the private folder, folders without permissions included.
void removeAll(const fs::path& folder) {
  std::error_code error;
  ::chmod(folder.c_str(), 0700);
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
    if (it->symlink_status(error).type() == fs::file_type::directory) removeAll(it->path());
  fs::remove_all(folder, error);
}

void extractAsTheControlDoes(Host& host, const std::string& sandbox) {
  const fs::path archive = fs::path(sandbox) / "archive";
  const fs::path destination = fs::path(sandbox) / "out";
  // Member names and reasons through the ANSI words here, in the buffers they take.
  const std::int32_t result = host.runJob(0, enginePath(archive.string()), enginePath(destination.string()), "*.*");
  if (result != protocol::kResultOk && result != protocol::kResultDamaged &&
      result != protocol::kResultNotATar && result != protocol::kResultMembersNotExtracted)
    fail("extraction result", std::to_string(result));
  const std::int32_t failed = host.call(protocol::kFailedCount.narrow);
  if (failed < 0 || (result == protocol::kResultMembersNotExtracted && failed == 0)) fail("failed count");
  for (std::int32_t index = 0;; ++index) {
    std::vector<char> reason(protocol::kHostBufferSize, ' ');
    std::int32_t number = 0;
    host.text(protocol::kFailure.narrow, protocol::kHostBufferSize, reinterpret_cast<std::intptr_t>(reason.data()),
              index, &number);
    if (number == 0) {
      if (index < failed && index < 1000) fail("a counted failure is not kept");
      break;
    }
    if (!std::memchr(reason.data(), 0, reason.size()) || reason[0] == 0) fail("reason text");
    if (index >= failed) fail("a failure kept past the count");
  }
  checkConfined(sandbox, archive, destination);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string root = scratchRoot();
  std::string pattern = root + "/zax-fuzz-XXXXXX";
  if (!::mkdtemp(pattern.data())) return 0;
  const std::string sandbox = pattern;
  const std::string archive = sandbox + "/archive";
  zax::UniqueStream file(std::fopen(archive.c_str(), "wb"));
  if (!file) {
    removeAll(sandbox);
    return 0;
  }
  const bool written = size == 0 || std::fwrite(data, 1, size, file.get()) == size;
  if (!file.close() || !written) {
    removeAll(sandbox);
    return 0;
  }
  {
    untgz::Engine engine;
    engine.hooks().debugOutput = [](const char*) {};
    Host host(engine);
    listAsTheControlDoes(host, enginePath(archive));
    extractAsTheControlDoes(host, sandbox);
  }
  removeAll(sandbox);
  return 0;
}
