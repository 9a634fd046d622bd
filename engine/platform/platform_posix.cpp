// The operating-system seam on Linux: Windows paths mapped as Wine maps them.
#include "engine/platform/platform.h"

#include "common/unique_resource.h"
#include "common/utf8.h"
#include "common/wine_paths.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/eventfd.h>
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

bool probeWritableFolder(const std::string& folder) {
  auto p = nativePath(folder);
  if (!p) return false;
  std::string pattern = *p;
  if (pattern.empty() || pattern.back() != '/') pattern += '/';
  pattern += "zaxXXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const zax::UniqueDescriptor fd(::mkstemp(name.data()));
  if (!fd) return false;
  ::unlink(name.data());
  return true;
}

namespace {

// The process's umask, read without changing it (/proc/self/status has it since Linux
// 4.7); elsewhere set and put back at once.
mode_t fileCreationMask() {
  static const mode_t mask = [] {
    if (const zax::UniqueStream status{std::fopen("/proc/self/status", "re")}) {
      char line[256];
      unsigned value = 0;
      bool found = false;
      while (!found && std::fgets(line, sizeof line, status.get())) found = std::sscanf(line, "Umask: %o", &value) == 1;
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
    file = OutputFile{{}, name, name, FileId()};
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
    file.stream.reset(::fdopen(fd, "wb"));
    if (!file.stream) {
      const int error = errno;
      owner.reset();
      ::unlinkat(fd_.get(), name.c_str(), 0);
      return failureOf(error);
    }
    owner.release();  // the stream holds it now
    return Failure::none;
  }

  zax::UniqueStream openToRead(const std::string& name) override {
    zax::UniqueDescriptor fd(::openat(fd_.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) return {};
    zax::UniqueStream stream(::fdopen(fd.get(), "rb"));
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
    const bool closed = file.stream.close();
    const Failure failure = closed ? Failure::none : failureOf(errno);
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

ArchiveFile openArchiveFile(const std::string& path) {
  ArchiveFile file;
  const auto p = nativePath(path);
  if (!p || p->empty()) return file;
  zax::UniqueStream stream(std::fopen(p->c_str(), "rbe"));
  struct stat st;
  // A folder opens for reading here, and then fails to read: only a file is an archive.
  if (!stream || ::fstat(::fileno(stream.get()), &st) != 0 || S_ISDIR(st.st_mode)) return file;
  file.stream = std::move(stream);
  file.size = static_cast<std::int64_t>(st.st_size);
  file.id = idOf(st);
  return file;
}

gzFile gzipOf(std::FILE* file) {
  if (std::fseek(file, 0, SEEK_SET) != 0) return nullptr;
  zax::UniqueDescriptor copy(::fcntl(::fileno(file), F_DUPFD_CLOEXEC, 0));
  if (!copy) return nullptr;
  const gzFile gz = gzdopen(copy.get(), "rb");
  if (gz) copy.release();  // the gzip layer holds it now
  return gz;
}

bool localTime(std::int64_t secondsSince1970, std::tm& out) {
  time_t t = static_cast<time_t>(secondsSince1970);
  return ::localtime_r(&t, &out) != nullptr;
}

namespace {

struct ThreadStart {
  void (*procedure)(void*);
  void* context;
  int endDescriptor;  // -1 when there is none
};

// Returns into the C library's thread start, outside the engine. The end descriptor is
// written last, so that whoever waits on it finds the thread gone, or about to be.
void* threadEntry(void* parameter) {
  const ThreadStart start = *static_cast<ThreadStart*>(parameter);
  delete static_cast<ThreadStart*>(parameter);
  start.procedure(start.context);
  if (start.endDescriptor >= 0) {
    const std::uint64_t one = 1;
    (void)!::write(start.endDescriptor, &one, sizeof one);
  }
  return nullptr;
}

pthread_t threadOf(std::uintptr_t value) { return static_cast<pthread_t>(value); }

}  // namespace

static_assert(sizeof(pthread_t) <= sizeof(std::uintptr_t), "a pthread_t is kept as an integer");

bool ThreadTraits::close(Handle thread) { return ::pthread_join(threadOf(thread), nullptr) == 0; }

WorkerThread::~WorkerThread() { wait(); }

bool WorkerThread::start(void (*procedure)(void*), void* context) {
  std::lock_guard<std::mutex> guard(lock_);
  if (thread_) return false;
  // A thread without its end descriptor still runs: its host falls back on polling.
  zax::UniqueDescriptor end(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  auto* parameter = new (std::nothrow) ThreadStart{procedure, context, end.get()};
  if (!parameter) return false;
  pthread_t thread;
  if (::pthread_create(&thread, nullptr, &threadEntry, parameter) != 0) {
    delete parameter;
    return false;
  }
  thread_.reset(static_cast<std::uintptr_t>(thread));
  endDescriptor_ = std::move(end);
  return true;
}

void WorkerThread::joined() {
  thread_.release();  // joined already
  endDescriptor_.reset();
}

bool WorkerThread::exitedWithin(unsigned milliseconds) {
  std::unique_lock<std::mutex> guard(lock_, std::try_to_lock);
  if (!guard.owns_lock()) return false;
  if (!thread_) return true;
  struct timespec until;
  ::clock_gettime(CLOCK_REALTIME, &until);
  until.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
  until.tv_sec += milliseconds / 1000 + until.tv_nsec / 1000000000L;
  until.tv_nsec %= 1000000000L;
  if (::pthread_timedjoin_np(threadOf(thread_.get()), nullptr, &until) == 0) joined();
  return !thread_;
}

bool WorkerThread::endSignal(std::intptr_t& signal) {
  std::unique_lock<std::mutex> guard(lock_, std::try_to_lock);
  if (!guard.owns_lock() || !thread_ || !endDescriptor_) return false;
  // The caller gets a descriptor of its own for the same counter: it may close it when it
  // likes, and the thread never writes to a number that has come to name something else.
  const int copy = ::fcntl(endDescriptor_.get(), F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return false;
  signal = copy;
  return true;
}

bool WorkerThread::exited() {
  std::unique_lock<std::mutex> guard(lock_, std::try_to_lock);
  if (!guard.owns_lock()) return false;
  // pthread_tryjoin_np succeeds only once the thread has ended, after its thread-local
  // destructors ran and the system cleared its id: nothing of it runs any more.
  if (thread_ && ::pthread_tryjoin_np(threadOf(thread_.get()), nullptr) == 0) joined();
  return !thread_;
}

void WorkerThread::wait() {
  std::lock_guard<std::mutex> guard(lock_);
  if (!thread_ || ::pthread_equal(threadOf(thread_.get()), ::pthread_self())) return;
  thread_.reset();  // joins it
  endDescriptor_.reset();
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
