// The operating-system seam on Linux: Windows paths mapped as Wine maps them.
#include "platform.h"
#include "wine_paths.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cerrno>
#include <cstdlib>
#include <thread>
#include <vector>

namespace platform {

TestHooks& testHooks() {
  static TestHooks hooks;
  return hooks;
}

std::optional<std::string> nativePath(const std::string& path) { return posixPathOf(path); }

namespace {

Failure failureOf(int error) {
  switch (error) {
    case 0: return Failure::none;
    case ENOSPC:
    case EDQUOT: return Failure::noSpace;
    case ENAMETOOLONG: return Failure::nameTooLong;
    case EACCES:
    case EPERM:
    case EROFS: return Failure::accessDenied;
    case EEXIST: return Failure::exists;
    case ENOTDIR: return Failure::notFolder;
    case EISDIR: return Failure::isFolder;
    default: return Failure::other;
  }
}

}  // namespace

Failure lastFailure() { return failureOf(errno); }
Failure lastStreamFailure() { return failureOf(errno); }

bool pathTooLong(const std::string& path) {
  const auto p = nativePath(path);
  return p && p->size() >= PATH_MAX;
}

bool createDirectory(const std::string& path) {
  auto p = nativePath(path);
  if (!p || p->empty()) return false;
  return ::mkdir(p->c_str(), 0777) == 0;
}

PathKind pathKind(const std::string& path) {
  auto p = nativePath(path);
  struct stat st;
  if (!p || p->empty() || ::stat(p->c_str(), &st) != 0) return PathKind::missing;
  return S_ISDIR(st.st_mode) ? PathKind::directory : PathKind::file;
}

EntryKind entryKind(const std::string& path) {
  auto p = nativePath(path);
  struct stat st;
  if (!p || p->empty() || ::lstat(p->c_str(), &st) != 0) return EntryKind::missing;
  if (S_ISLNK(st.st_mode)) return EntryKind::link;
  if (S_ISDIR(st.st_mode)) return EntryKind::directory;
  if (S_ISREG(st.st_mode)) return EntryKind::file;
  return EntryKind::other;
}

FileId fileId(const std::string& path, bool followLinks) {
  auto p = nativePath(path);
  struct stat st;
  FileId id;
  if (!p || p->empty()) return id;
  if ((followLinks ? ::stat(p->c_str(), &st) : ::lstat(p->c_str(), &st)) != 0) return id;
  id.valid = true;
  id.volume = static_cast<std::uint64_t>(st.st_dev);
  id.index = static_cast<std::uint64_t>(st.st_ino);
  return id;
}

bool probeWritableFolder(const std::string& folder) {
  if (testHooks().probeWritableFolder) return testHooks().probeWritableFolder(folder);
  auto p = nativePath(folder);
  if (!p) return false;
  std::string pattern = *p;
  if (pattern.empty() || pattern.back() != '/') pattern += '/';
  pattern += "zaxXXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(name.data());
  return true;
}

std::FILE* createOutputFile(const std::string& path) {
  if (testHooks().createOutputFile) return testHooks().createOutputFile(path);
  auto p = nativePath(path);
  if (!p || p->empty()) {
    errno = ENOENT;
    return nullptr;
  }
  // O_EXCL with O_NOFOLLOW: a link put at the path after it was cleared makes the open
  // fail instead of writing where the link points.
  const int fd = ::open(p->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "wb");
  if (!file) {
    const int error = errno;
    ::close(fd);
    ::unlink(p->c_str());
    errno = error;
  }
  return file;
}

bool removeEntry(const std::string& path) {
  auto p = nativePath(path);
  return p && !p->empty() && (::unlink(p->c_str()) == 0 || errno == ENOENT);
}

bool setStreamFileTime(std::FILE* file, std::int64_t secondsSince1970) {
  if (std::fflush(file) != 0) return false;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(secondsSince1970);
  times[1].tv_nsec = 0;
  return ::futimens(::fileno(file), times) == 0;
}

std::int64_t fileSize(const std::string& path) {
  auto p = nativePath(path);
  struct stat st;
  if (!p || p->empty() || ::stat(p->c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

bool localTime(std::int64_t secondsSince1970, std::tm& out) {
  time_t t = static_cast<time_t>(secondsSince1970);
  return ::localtime_r(&t, &out) != nullptr;
}

bool startDetachedThread(void (*procedure)()) {
  if (testHooks().startDetachedThread) return testHooks().startDetachedThread(procedure);
  try {
    // The same thread lines the Windows build writes from DllMain.
    std::thread([procedure] {
      debugOutput("DLL_THREAD_ATTACH \n");
      procedure();
      debugOutput("DLL_THREAD_DETACH \n");
    }).detach();
    return true;
  } catch (...) {
    return false;
  }
}

void sleepMilliseconds(unsigned milliseconds) { ::usleep(milliseconds * 1000u); }

void debugOutput(const char* text) {
  if (testHooks().debugOutput) {
    testHooks().debugOutput(text);
    return;
  }
  ::syslog(LOG_DEBUG, "untgz: %s", text);
}

// --- Processor clock measurement -----------------------------------------------------------

bool readPerformanceCounter(std::int64_t& ticks) {
  struct timespec now;
  if (::clock_gettime(CLOCK_MONOTONIC, &now) != 0) return false;
  ticks = static_cast<std::int64_t>(now.tv_sec) * 1000000000LL + now.tv_nsec;
  return true;
}

bool readPerformanceFrequency(std::int64_t& ticksPerSecond) {
  ticksPerSecond = 1000000000LL;  // the monotonic clock counts nanoseconds
  return true;
}

// The Windows level is the negated nice value of the calling thread (Linux gives every
// thread its own), so saving and restoring round-trips exactly.
int currentThreadPriority() {
  errno = 0;
  const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
  return errno != 0 ? 0 : -nice;
}

bool setCurrentThreadPriority(int priority) {
  return ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), -priority) == 0;
}

}  // namespace platform
