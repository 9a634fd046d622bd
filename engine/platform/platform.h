// The engine's only road to the operating system. Paths are the engine's own Windows
// paths (drive or UNC form, backslash separators). The win32 implementation takes them as
// UTF-8 and hands them to the wide calls, in the long form ("\\?\") where they pass
// MAX_PATH; the posix implementation keeps them as bytes and maps them the way Wine maps a
// Linux file system: drive Z: is the root "/", backslashes become slashes, and no other
// drive letter and no UNC server exists.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "common/unique_resource.h"

namespace platform {

// The path the C library and zlib can open, or nothing for a path that cannot exist
// here (another drive or a UNC server on the native build).
std::optional<std::string> nativePath(const std::string& path);

// --- Text ------------------------------------------------------------------------------

// Text of the system's ANSI code page as the engine holds it: UTF-8 on Windows
// (MultiByteToWideChar with CP_ACP), the bytes unchanged here, where names are bytes.
std::string utf8FromAnsi(const std::string& bytes);

// The longest start of an engine text that the ANSI code page holds in at most maxBytes
// bytes, converted to it (a character it lacks becomes its default character "?"). Never
// ends inside a character. Here the bytes themselves, cut between two UTF-8 sequences.
std::string ansiFromUtf8(const std::string& text, std::size_t maxBytes);

// True where file names follow Windows' rules (characters it forbids in names are replaced
// when members are written; see memberPath), false where a name is any bytes.
bool windowsNames();

// --- Folders and files --------------------------------------------------------------

// Why a file-system call failed, as far as the engine tells the causes apart.
enum class Failure {
  none,
  noSpace,
  nameTooLong,
  accessDenied,
  exists,
  notFolder,
  isFolder,
  isLink,    // a link (a reparse point on Windows) where a folder must be
  readOnly,  // a read-only file, which is never replaced
  other,
};

// The cause of the last failed call of this seam on this thread (errno, GetLastError).
// Read it right after the call that failed.
Failure lastFailure();
// The cause of the last failed write or close of a C stream (errno on every system).
Failure lastStreamFailure();

// True when the system cannot take a path this long, so that a member is refused before
// any folder of it is made (on Windows 32,767 UTF-16 units for the whole path in its long
// form, 255 for one component; PATH_MAX here).
bool pathTooLong(const std::string& path);

// Creates one folder (CreateDirectoryW with default security). False when it could not
// be created, which includes a folder that already exists.
bool createDirectory(const std::string& path);

enum class PathKind { missing, file, directory };
// What is at the path (GetFileAttributesW), links followed.
PathKind pathKind(const std::string& path);

// What is at a path itself, links not followed. `link` is a symbolic link here, and a
// reparse point (symbolic link, junction, mount point) on Windows.
enum class EntryKind { missing, file, directory, link, other };

// What a folder that was opened turned out to be: none for a real folder, isLink for a
// link (never followed), notFolder for anything else.
inline Failure failureOfFolderKind(EntryKind kind) {
  switch (kind) {
    case EntryKind::directory: return Failure::none;
    case EntryKind::link: return Failure::isLink;
    default: return Failure::notFolder;
  }
}

// Which file an open file or a folder's entry is, to tell whether two lead to one file
// (device and inode here, volume serial number and file index on Windows). `valid` is
// false when it cannot be told.
struct FileId {
  bool valid = false;
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FileId& other) const {
    return valid && other.valid && volume == other.volume && index == other.index;
  }
};

// Creates a uniquely named file with the prefix "zax" in the folder and deletes it again,
// as GetTempFileName names one ("zaxXXXX.tmp"; a name of our own, since GetTempFileNameW
// refuses folders near MAX_PATH). True when the folder took the file.
bool probeWritableFolder(const std::string& folder);

// --- Output folders ------------------------------------------------------------------

// A file being written for a member, in the output folder that created it.
struct OutputFile {
  zax::UniqueStream stream;
  std::string name;         // its name in the folder, where it ends up
  std::string writingName;  // the name it is written under meanwhile: name, or one beside it
  FileId id;                // which file it is, where the system tells
};

// One folder of an extraction's output, held open from the moment it is reached until its
// owner lets it go. Everything is made in it relative to it, by the name of one component,
// so that whatever happens meanwhile to the path that led here (the folder renamed, a link
// put in its place by another process) cannot send a write elsewhere: here it is an
// O_PATH descriptor used with openat, mkdirat and unlinkat; on Windows a handle held
// without delete sharing (so that the folder cannot be renamed while it is held) and
// NtCreateFile relative to it. Nothing is ever written through a link. Tests and the fuzz
// target stand in for it with folders of their own.
class OutputFolder {
 public:
  virtual ~OutputFolder() = default;

  // What is at `name`, a link not followed.
  virtual EntryKind entryKind(const std::string& name) = 0;
  // Which file is at `name`, a link not followed.
  virtual FileId fileId(const std::string& name) = 0;

  // Opens the folder `name`, making it when nothing is there and `create` says so (`made`
  // says whether it was). Never follows a link: Failure::isLink when a link is there (a
  // reparse point on Windows), notFolder when something else that is not a folder is;
  // otherwise why it could not be made or opened.
  virtual Failure openFolder(const std::string& name, bool create, std::unique_ptr<OutputFolder>& folder,
                             bool& made) = 0;

  // Creates the file `name` for binary writing, with the permission bits `mode` (0777 of
  // it, less the process's umask; where the system has such bits, and the system's default
  // when `mode` is negative). With Replace::no nothing that is there is touched
  // (Failure::exists). Otherwise what is there (a file or a link, never a folder) is
  // replaced without being opened and without following a link, neither one that is there
  // nor one put there meanwhile; a read-only file is kept (Failure::readOnly) unless
  // Replace::evenReadOnly.
  enum class Replace { no, yes, evenReadOnly };
  virtual Failure createFile(const std::string& name, Replace replace, std::int32_t mode,
                             OutputFile& file) = 0;

  // Closes a file this folder created. With `keep` it is put in place, and the answer is
  // Failure::none or why it did not reach its name whole, in which case it is removed and
  // what was there stays. Without `keep` it is removed and the answer is none.
  virtual Failure closeFile(OutputFile& file, bool keep) = 0;

  // Opens the file `name` for binary reading, a link not followed. Empty when it cannot.
  virtual zax::UniqueStream openToRead(const std::string& name) = 0;

  // Makes `name` a hard link to the file `target` of the folder `from` (this one or
  // another of the same tree), replacing a file or link at `name` as createFile does.
  virtual Failure makeHardLink(const std::string& name, OutputFolder& from, const std::string& target) = 0;

  // Makes `name` a symbolic link whose text is `target` (kept as given), replacing a file
  // or link at `name` as createFile does. `toFolder` says what the target is, for systems
  // whose links know it.
  virtual Failure makeSymbolicLink(const std::string& name, const std::string& target, bool toFolder) = 0;

  // Gives the folder `name` in this one (never a link) its permission bits (0777 of
  // `mode` less the umask; left alone when negative) and its modification time. False
  // when it could not.
  virtual bool setFolderAttributes(const std::string& name, std::int32_t mode, std::int64_t seconds,
                                   std::int32_t nanoseconds) = 0;

  // The descriptor or handle the folder is held by, for a link made across two folders.
  virtual std::intptr_t nativeHandle() const = 0;
};

Failure openOutputRoot(const std::string& path, std::unique_ptr<OutputFolder>& root);

// Writes out what the stream buffers and sets the creation and last-write time of its
// file to the instant given in seconds since 1970 UTC and nanoseconds after them (in 100 ns
// steps on Windows), on the open file itself, so that no link is followed; the last-access
// time is left alone. False when it could not.
bool setStreamFileTime(std::FILE* file, std::int64_t secondsSince1970, std::int32_t nanoseconds = 0);

// Moves the stream's position `length` bytes on without writing (fseeko, _fseeki64): the
// bytes passed over read as zeros once something is written after them or the size is set
// past them, and stay a hole where the file system has holes. False when it could not.
bool skipInStream(std::FILE* file, std::int64_t length);

// Writes out what the stream buffers and sets the size of its file, which grows with zeros
// (ftruncate, SetEndOfFile). False, with the cause for lastStreamFailure(), when it could
// not.
bool setStreamSize(std::FILE* file, std::int64_t size);

// A job's archive, opened once: its stream, and its size and identity as the system tells
// them of the open file, so that nothing asks for the archive by path again (which would
// also answer for whatever another process put at that path meanwhile).
struct ArchiveFile {
  zax::UniqueStream stream;  // empty when the path is no file that opens (a folder, missing)
  std::int64_t size = 0;
  FileId id;
};

// Opens an archive for reading as bytes (fopen "rb"; _wfopen with the wide path on Windows).
ArchiveFile openArchiveFile(const std::string& path);

// zlib's gzip layer over the same open file, from its start (a descriptor of its own, the
// stream's duplicated; the stream may be closed afterwards). Null when it cannot be made.
gzFile gzipOf(std::FILE* file);

// Local calendar time of an instant (localtime); false when it cannot be converted.
bool localTime(std::int64_t secondsSince1970, std::tm& out);

// --- Threads and time ----------------------------------------------------------------

// The thread a job runs on. Its owner waits for it to exit before the thread's code may
// go: a host unloads the engine once it has ended (see Engine::status), and a thread that
// still had instructions of the engine ahead of it (its return path, its thread-exit
// callbacks) would run into unmapped code. So the thread is never detached: its handle is
// kept until it has been seen to exit (WaitForSingleObject, pthread_join).
// The owner's hold on a thread: on Windows its HANDLE, closed; natively a joinable
// pthread_t, joined (which waits for it, so it is let go only once it is known to have ended).
struct ThreadTraits {
  using Handle = std::uintptr_t;
  static constexpr Handle invalid() { return 0; }
  static bool close(Handle thread);
};

class WorkerThread {
 public:
  WorkerThread() = default;
  // Waits for a thread that is still running (see wait()).
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Runs procedure(context) on a new thread. False when no thread could be started, and
  // while the last one has not been seen to exit.
  bool start(void (*procedure)(void* context), void* context);

  // True when no thread of this object is left: none was started, or the last one has
  // exited entirely and so runs no instruction anywhere any more. Never blocks; answers
  // false while another caller is waiting in wait().
  bool exited();

  // As exited(), but gives a thread that is on its way out up to `milliseconds` to go.
  bool exitedWithin(unsigned milliseconds);

  // Blocks until the thread has exited; returns at once when there is none, or when the
  // caller is that thread itself (which cannot wait for its own end).
  void wait();

  // A waitable of the caller's own that the system signals when the running thread ends:
  // on Windows a handle to the thread (signalled once it has terminated), to be closed with
  // CloseHandle; here a descriptor that turns readable as the thread returns from its
  // procedure, to be closed with close(). False when no thread runs or none could be made.
  // A host waits on it beside its own messages instead of polling for the job's end.
  bool endSignal(std::intptr_t& signal);

 private:
  void joined();  // natively: forgets the thread, joined, and closes its end descriptor

  std::mutex lock_;
  zax::UniqueResource<ThreadTraits> thread_;
  zax::UniqueDescriptor endDescriptor_;  // natively: written once the procedure has returned
};

void sleepMilliseconds(unsigned milliseconds);

// --- Diagnostics -----------------------------------------------------------------------

// One line of debug output (OutputDebugStringA on Windows, syslog at debug level here).
void debugOutput(const char* text);

// --- Processor clock measurement -----------------------------------------------------------

// The system's high-resolution counter and its ticks per second (QueryPerformanceCounter,
// QueryPerformanceFrequency). False when the system has none.
bool readPerformanceCounter(std::int64_t& ticks);
bool readPerformanceFrequency(std::int64_t& ticksPerSecond);

// Scheduling priority of the calling thread on the Windows scale (THREAD_PRIORITY_*, 2 is
// the highest normal level). Setting may be refused (an unprivileged Linux thread cannot
// raise itself); callers go on regardless.
int currentThreadPriority();
bool setCurrentThreadPriority(int priority);

}  // namespace platform
