// The operating-system seam on Linux: Windows paths mapped as Wine maps them.
#include "engine/platform/platform.h"

#include "common/unique_resource.h"
#include "common/utf8.h"
#include "common/wine_paths.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cerrno>
#include <cstdlib>
#include <new>
#include <vector>

namespace platform {

std::optional<std::string> nativePath(const std::string& path) { return untgz::paths::posixPathOf(path); }

// Names are bytes here, and the code page of the engine's texts is UTF-8.
std::string utf8FromAnsi(const std::string& bytes) { return bytes; }

std::string ansiFromUtf8(const std::string& text, std::size_t maxBytes) {
  return text.substr(0, zax::utf8PrefixLength(text, std::string::npos, maxBytes));
}

bool windowsNames() { return false; }

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
    case ELOOP: return Failure::isLink;
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
  return p && !p->empty() && ::mkdir(p->c_str(), 0777) == 0;
}

PathKind pathKind(const std::string& path) {
  auto p = nativePath(path);
  struct stat st;
  if (!p || p->empty() || ::stat(p->c_str(), &st) != 0) return PathKind::missing;
  return S_ISDIR(st.st_mode) ? PathKind::directory : PathKind::file;
}

namespace {

// Which file a status describes: its device and inode.
FileId idOf(const struct stat& st) {
  FileId id;
  id.valid = true;
  id.volume = static_cast<std::uint64_t>(st.st_dev);
  id.index = static_cast<std::uint64_t>(st.st_ino);
  return id;
}

}  // namespace

FileId fileId(const std::string& path, bool followLinks) {
  auto p = nativePath(path);
  struct stat st;
  if (!p || p->empty()) return FileId();
  if ((followLinks ? ::stat(p->c_str(), &st) : ::lstat(p->c_str(), &st)) != 0) return FileId();
  return idOf(st);
}

bool probeWritableFolder(const std::string& folder) {
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

namespace {

// The process's umask, read without changing it (/proc/self/status has it since Linux
// 4.7); elsewhere set and put back at once.
mode_t fileCreationMask() {
  static const mode_t mask = [] {
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
      char line[256];
      unsigned value = 0;
      bool found = false;
      while (!found && std::fgets(line, sizeof line, status)) found = std::sscanf(line, "Umask: %o", &value) == 1;
      std::fclose(status);
      if (found) return static_cast<mode_t>(value);
    }
    const mode_t old = ::umask(022);
    ::umask(old);
    return old;
  }();
  return mask;
}

EntryKind kindOf(const struct stat& st) {
  if (S_ISLNK(st.st_mode)) return EntryKind::link;
  if (S_ISDIR(st.st_mode)) return EntryKind::directory;
  if (S_ISREG(st.st_mode)) return EntryKind::file;
  return EntryKind::other;
}

// A held output folder: an O_PATH descriptor, which cannot be read or written but is what
// the *at calls take as their starting point. Reaching a name from it costs the same at any
// depth, where a whole path makes the system walk every level again.
class PosixOutputFolder : public OutputFolder {
 public:
  explicit PosixOutputFolder(int fd) : fd_(fd) {}

  EntryKind entryKind(const std::string& name) override {
    struct stat st;
    if (::fstatat(fd_.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return EntryKind::missing;
    return kindOf(st);
  }

  FileId fileId(const std::string& name) override {
    struct stat st;
    if (::fstatat(fd_.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return FileId();
    return idOf(st);
  }

  Failure openFolder(const std::string& name, bool create, std::unique_ptr<OutputFolder>& folder,
                     bool& made) override {
    made = create && ::mkdirat(fd_.get(), name.c_str(), 0777) == 0;
    if (create && !made && errno != EEXIST) return failureOf(errno);
    // O_NOFOLLOW with O_PATH opens a link itself instead of failing: what was opened is
    // looked at, so that a link put there after the mkdirat is caught too.
    const int fd = ::openat(fd_.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return failureOf(errno);
    zax::UniqueDescriptor opened(fd);
    struct stat st;
    if (::fstat(fd, &st) != 0) return failureOf(errno);
    if (const Failure failure = failureOfFolderKind(kindOf(st)); failure != Failure::none) return failure;
    folder.reset(new PosixOutputFolder(opened.release()));
    return Failure::none;
  }

  Failure createFile(const std::string& name, Replace replace, std::int32_t mode, OutputFile& file) override {
    file = OutputFile{nullptr, name, name, FileId()};
    const mode_t permissions = mode < 0 ? 0666 : static_cast<mode_t>(mode & 0777);
    int fd = create(name, permissions);
    if (fd < 0 && errno == EEXIST && replace != Replace::no) {
      if (const Failure failure = clear(name, replace); failure != Failure::none) return failure;
      fd = create(name, permissions);
    }
    if (fd < 0) return failureOf(errno);
    zax::UniqueDescriptor owner(fd);
    struct stat st;
    if (::fstat(fd, &st) == 0) file.id = idOf(st);
    file.stream = ::fdopen(fd, "wb");
    if (!file.stream) {
      const int error = errno;
      owner.reset();
      ::unlinkat(fd_.get(), name.c_str(), 0);
      return failureOf(error);
    }
    owner.release();  // the stream holds it now
    return Failure::none;
  }

  std::FILE* openToRead(const std::string& name) override {
    zax::UniqueDescriptor fd(::openat(fd_.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) return nullptr;
    std::FILE* stream = ::fdopen(fd.get(), "rb");
    if (stream) fd.release();  // the stream holds it now
    return stream;
  }

  Failure makeHardLink(const std::string& name, OutputFolder& from, const std::string& target) override {
    const int fromFd = static_cast<int>(from.nativeHandle());
    if (::linkat(fromFd, target.c_str(), fd_.get(), name.c_str(), 0) == 0) return Failure::none;
    if (errno != EEXIST) return failureOf(errno);
    if (const Failure failure = clear(name, Replace::yes); failure != Failure::none) return failure;
    return ::linkat(fromFd, target.c_str(), fd_.get(), name.c_str(), 0) == 0 ? Failure::none : failureOf(errno);
  }

  Failure makeSymbolicLink(const std::string& name, const std::string& target, bool) override {
    if (::symlinkat(target.c_str(), fd_.get(), name.c_str()) == 0) return Failure::none;
    if (errno != EEXIST) return failureOf(errno);
    if (const Failure failure = clear(name, Replace::yes); failure != Failure::none) return failure;
    return ::symlinkat(target.c_str(), fd_.get(), name.c_str()) == 0 ? Failure::none : failureOf(errno);
  }

  bool setFolderAttributes(const std::string& name, std::int32_t mode, std::int64_t seconds,
                           std::int32_t nanoseconds) override {
    const int fd = ::openat(fd_.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    zax::UniqueDescriptor folder(fd);
    bool done = mode < 0 || ::fchmod(fd, static_cast<mode_t>(mode & 0777) & ~fileCreationMask()) == 0;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = nanoseconds;
    return ::futimens(fd, times) == 0 && done;
  }

  std::intptr_t nativeHandle() const override { return fd_.get(); }

  Failure closeFile(OutputFile& file, bool keep) override {
    const bool closed = std::fclose(file.stream) == 0;
    const Failure failure = closed ? Failure::none : failureOf(errno);
    file.stream = nullptr;
    if (closed && keep) return Failure::none;
    ::unlinkat(fd_.get(), file.writingName.c_str(), 0);
    return keep ? failure : Failure::none;
  }

 private:
  // O_EXCL with O_NOFOLLOW: never over anything, and a link put at the name after it was
  // cleared makes the open fail instead of writing where the link points. The system takes
  // the umask off the permissions; the file is writable through its descriptor whatever
  // they are.
  int create(const std::string& name, mode_t permissions) const {
    return ::openat(fd_.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, permissions);
  }

  // Removes what is at `name` so that something new can be made there: a file or a link
  // (the link itself, never what it leads to), not a folder, and not a read-only file
  // unless told.
  Failure clear(const std::string& name, Replace replace) {
    struct stat st;
    if (::fstatat(fd_.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      if (S_ISDIR(st.st_mode)) return Failure::isFolder;
      if (replace != Replace::evenReadOnly && S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0)
        return Failure::readOnly;
    }
    if (::unlinkat(fd_.get(), name.c_str(), 0) != 0 && errno != ENOENT) return failureOf(errno);
    return Failure::none;
  }

  zax::UniqueDescriptor fd_;
};

}  // namespace

Failure openOutputRoot(const std::string& path, std::unique_ptr<OutputFolder>& root) {
  auto p = nativePath(path);
  if (!p || p->empty()) return Failure::notFolder;
  const int fd = ::open(p->c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return failureOf(errno);
  root.reset(new PosixOutputFolder(fd));
  return Failure::none;
}

bool setStreamFileTime(std::FILE* file, std::int64_t secondsSince1970, std::int32_t nanoseconds) {
  if (std::fflush(file) != 0) return false;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(secondsSince1970);
  times[1].tv_nsec = nanoseconds;
  return ::futimens(::fileno(file), times) == 0;
}

bool skipInStream(std::FILE* file, std::int64_t length) {
  return ::fseeko(file, static_cast<off_t>(length), SEEK_CUR) == 0;
}

bool setStreamSize(std::FILE* file, std::int64_t size) {
  return std::fflush(file) == 0 && ::ftruncate(::fileno(file), static_cast<off_t>(size)) == 0;
}

std::FILE* openForReading(const std::string& path) {
  const auto p = nativePath(path);
  return p ? std::fopen(p->c_str(), "rb") : nullptr;
}

gzFile openGzip(const std::string& path) {
  const auto p = nativePath(path);
  return p ? gzopen(p->c_str(), "rb") : nullptr;
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

namespace {

struct ThreadStart {
  void (*procedure)(void*);
  void* context;
};

// Returns into the C library's thread start, outside the engine.
void* threadEntry(void* parameter) {
  const ThreadStart start = *static_cast<ThreadStart*>(parameter);
  delete static_cast<ThreadStart*>(parameter);
  start.procedure(start.context);
  return nullptr;
}

pthread_t threadOf(std::uintptr_t value) { return static_cast<pthread_t>(value); }

}  // namespace

static_assert(sizeof(pthread_t) <= sizeof(std::uintptr_t), "a pthread_t is kept as an integer");

WorkerThread::~WorkerThread() { wait(); }

bool WorkerThread::start(void (*procedure)(void*), void* context) {
  std::lock_guard<std::mutex> guard(lock_);
  if (started_) return false;
  auto* parameter = new (std::nothrow) ThreadStart{procedure, context};
  if (!parameter) return false;
  pthread_t thread;
  if (::pthread_create(&thread, nullptr, &threadEntry, parameter) != 0) {
    delete parameter;
    return false;
  }
  thread_ = static_cast<std::uintptr_t>(thread);
  started_ = true;
  return true;
}

bool WorkerThread::exited() {
  std::unique_lock<std::mutex> guard(lock_, std::try_to_lock);
  if (!guard.owns_lock()) return false;
  // pthread_tryjoin_np succeeds only once the thread has ended, after its thread-local
  // destructors ran and the system cleared its id: nothing of it runs any more.
  if (started_ && ::pthread_tryjoin_np(threadOf(thread_), nullptr) == 0) started_ = false;
  return !started_;
}

void WorkerThread::wait() {
  std::lock_guard<std::mutex> guard(lock_);
  if (!started_ || ::pthread_equal(threadOf(thread_), ::pthread_self())) return;
  ::pthread_join(threadOf(thread_), nullptr);
  started_ = false;
}

void sleepMilliseconds(unsigned milliseconds) { ::usleep(milliseconds * 1000u); }

void debugOutput(const char* text) {
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
