// The operating-system seam on Linux: Windows paths mapped as Wine maps them.
#include "platform.h"
#include "wine_paths.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cctype>
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

std::FILE* openOutputFile(const std::string& path) {
  if (testHooks().openOutputFile) return testHooks().openOutputFile(path);
  auto p = nativePath(path);
  if (!p || p->empty()) return nullptr;
  return std::fopen(p->c_str(), "wb");
}

bool removeFile(const std::string& path) {
  auto p = nativePath(path);
  return p && !p->empty() && ::unlink(p->c_str()) == 0;
}

bool setFileTime(const std::string& path, std::int64_t secondsSince1970) {
  auto p = nativePath(path);
  if (!p || p->empty()) return false;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(secondsSince1970);
  times[1].tv_nsec = 0;
  return ::utimensat(AT_FDCWD, p->c_str(), times, 0) == 0;
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
