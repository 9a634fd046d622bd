// The operating-system seam on Windows: the engine's paths are UTF-8 and go to the wide
// calls, in the long form where they pass MAX_PATH, so that every name of every script and
// paths up to the system's limit reach the file system as they are.
#include "engine/platform/platform.h"

#include "common/unique_resource.h"
#include "common/utf8.h"
#include "common/windows_path.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <new>

namespace platform {

std::optional<std::string> nativePath(const std::string& path) { return path; }

namespace {

// A path as the wide calls take it: UTF-16, and from kPlainPathLimit on in the long form of
// its full path. The long form skips the system's own reading of the path ("." and "..",
// "/" for "\\"), so the full path is asked of the system first, which reads it as the plain
// form would be read.
std::wstring widePath(const std::string& path) {
  const std::wstring wide = zax::fromUtf8(path);
  if (wide.size() < zax::kPlainPathLimit) return wide;
  std::wstring full(wide.size() + 16, L'\0');
  for (;;) {
    const DWORD length = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return zax::longPathForm(wide);
    if (length < full.size()) {
      full.resize(length);
      return zax::longPathForm(full);
    }
    full.resize(length);
  }
}

}  // namespace

std::string utf8FromAnsi(const std::string& bytes) {
  if (bytes.empty()) return std::string();
  const int length = static_cast<int>(bytes.size());
  std::wstring text(static_cast<std::size_t>(::MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0)), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, text.data(), static_cast<int>(text.size()));
  return zax::toUtf8(text);
}

namespace {

std::string ansiOf(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int length = static_cast<int>(text.size());
  std::string bytes(static_cast<std::size_t>(::WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr)), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text.data(), length, bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr);
  return bytes;
}

}  // namespace

std::string ansiFromUtf8(const std::string& text, std::size_t maxBytes) {
  const std::wstring wide = zax::fromUtf8(text);
  std::string whole = ansiOf(wide);
  if (whole.size() <= maxBytes) return whole;
  // Too long: character by character (a surrogate pair is one), so that a character of two
  // bytes in a DBCS code page is never cut in half.
  std::string cut;
  for (std::size_t i = 0; i < wide.size();) {
    const std::size_t units = (wide[i] >= 0xD800 && wide[i] <= 0xDBFF && i + 1 < wide.size()) ? 2 : 1;
    const std::string character = ansiOf(wide.substr(i, units));
    if (cut.size() + character.size() > maxBytes) break;
    cut += character;
    i += units;
  }
  return cut;
}

bool windowsNames() { return true; }

namespace {

Failure failureOfSystemError(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS: return Failure::none;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return Failure::noSpace;
    case ERROR_FILENAME_EXCED_RANGE: return Failure::nameTooLong;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION: return Failure::accessDenied;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return Failure::exists;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY: return Failure::notFolder;
    default: return Failure::other;
  }
}

}  // namespace

Failure lastFailure() { return failureOfSystemError(::GetLastError()); }

Failure lastStreamFailure() {
  switch (errno) {
    case ENOSPC: return Failure::noSpace;
    case EACCES: return Failure::accessDenied;
    default: return Failure::other;
  }
}

bool pathTooLong(const std::string& path) { return zax::pastTheSystemLimits(zax::fromUtf8(path)); }

bool createDirectory(const std::string& path) {
  return ::CreateDirectoryW(widePath(path).c_str(), nullptr) != 0;
}

PathKind pathKind(const std::string& path) {
  DWORD attributes = ::GetFileAttributesW(widePath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::missing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::directory : PathKind::file;
}

EntryKind entryKind(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(widePath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return EntryKind::missing;
  // Symbolic links, junctions and mount points all lead somewhere else.
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::link;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EntryKind::directory;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return EntryKind::other;
  return EntryKind::file;
}

FileId fileId(const std::string& path, bool followLinks) {
  FileId id;
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  const zax::UniqueFileHandle file(::CreateFileW(
      widePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, flags, nullptr));
  if (!file) return id;
  BY_HANDLE_FILE_INFORMATION information;
  if (::GetFileInformationByHandle(file.get(), &information)) {
    id.valid = true;
    id.volume = information.dwVolumeSerialNumber;
    id.index = (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  }
  return id;
}

bool probeWritableFolder(const std::string& folder) {
  std::string prefix = folder;
  if (prefix.empty() || prefix.back() != '\\') prefix += '\\';
  // Numbered from the clock, as GetTempFileName numbers its files, and deleted as its
  // handle closes.
  const DWORD start = ::GetTickCount();
  for (DWORD attempt = 0; attempt < 100; ++attempt) {
    char name[16];
    std::snprintf(name, sizeof name, "zax%04lX.tmp", static_cast<unsigned long>((start + attempt) & 0xFFFF));
    const HANDLE file = ::CreateFileW(widePath(prefix + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      ::CloseHandle(file);
      return true;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

namespace {

std::FILE* streamOf(HANDLE handle, const std::string& path) {
  const int descriptor = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (descriptor == -1) {
    ::CloseHandle(handle);
    ::DeleteFileW(widePath(path).c_str());
    ::SetLastError(ERROR_TOO_MANY_OPEN_FILES);
    return nullptr;
  }
  std::FILE* stream = ::_fdopen(descriptor, "wb");
  if (!stream) {
    ::_close(descriptor);
    ::DeleteFileW(widePath(path).c_str());
    ::SetLastError(ERROR_TOO_MANY_OPEN_FILES);
  }
  return stream;
}

// CREATE_NEW fails on anything already there, a link included.
HANDLE createNew(const std::string& path) {
  return ::CreateFileW(widePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

bool openOutputFile(const std::string& path, bool replace, OutputFile& file) {
  file = OutputFile{nullptr, path, path};
  HANDLE handle = createNew(path);
  if (handle == INVALID_HANDLE_VALUE) {
    // Wine shows a Unix link that leads nowhere as nothing at all, yet refuses to create a
    // file there; it is replaced like any other entry.
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
    if (!replace && ::GetFileAttributesW(widePath(path).c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    // Written beside the entry and renamed over it at the close: a rename replaces the
    // entry itself, where deleting a file link under Wine deletes what it leads to.
    const std::size_t slash = path.find_last_of('\\');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    for (unsigned attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
      char name[32];
      std::snprintf(name, sizeof name, ".zax%08lx%02u.tmp", ::GetCurrentProcessId(), attempt);
      file.writingPath = folder + name;
      handle = createNew(file.writingPath);
      if (handle == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    if (handle == INVALID_HANDLE_VALUE) return false;
  }
  file.stream = streamOf(handle, file.writingPath);
  return file.stream != nullptr;
}

Failure closeOutputFile(OutputFile& file, bool keep) {
  const bool closed = std::fclose(file.stream) == 0;
  Failure failure = closed ? Failure::none : lastStreamFailure();
  file.stream = nullptr;
  const std::wstring writing = widePath(file.writingPath);
  if (closed && keep) {
    const std::wstring target = widePath(file.path);
    if (file.writingPath == file.path ||
        ::MoveFileExW(writing.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
      return Failure::none;
    // A read-only file is replaced like any other, as tar tools do. A link shows as a
    // reparse point on Windows and is never touched here.
    const DWORD error = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_READONLY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        ::SetFileAttributesW(target.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)) &&
        ::MoveFileExW(writing.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
      return Failure::none;
    failure = failureOfSystemError(error);
  }
  ::DeleteFileW(writing.c_str());
  return keep ? failure : Failure::none;
}

bool setStreamFileTime(std::FILE* file, std::int64_t secondsSince1970) {
  const std::int64_t kEpochDifference = 11644473600LL;
  // A FILETIME counts from 1601 and cannot hold much past the year 30000.
  if (secondsSince1970 < -kEpochDifference || secondsSince1970 > 900000000000LL) return false;
  if (std::fflush(file) != 0) return false;
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
  if (handle == INVALID_HANDLE_VALUE) return false;
  // The instant itself, in 100 ns steps since 1601: converting through local calendar
  // fields would shift times on the other side of a daylight-saving change by an hour.
  ULARGE_INTEGER ticks;
  ticks.QuadPart = static_cast<ULONGLONG>((secondsSince1970 + kEpochDifference) * 10000000LL);
  FILETIME time;
  time.dwLowDateTime = ticks.LowPart;
  time.dwHighDateTime = ticks.HighPart;
  return ::SetFileTime(handle, &time, nullptr, &time) != 0;
}

bool skipInStream(std::FILE* file, std::int64_t length) {
  return ::_fseeki64(file, length, SEEK_CUR) == 0;
}

bool setStreamSize(std::FILE* file, std::int64_t size) {
  if (std::fflush(file) != 0) return false;
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
  LARGE_INTEGER end;
  end.QuadPart = size;
  if (handle != INVALID_HANDLE_VALUE && ::SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) &&
      ::SetEndOfFile(handle))
    return true;
  // lastStreamFailure() reads errno, as for the stream's own writes.
  errno = ::GetLastError() == ERROR_DISK_FULL ? ENOSPC : EIO;
  return false;
}

gzFile openGzip(const std::string& path) { return gzopen_w(widePath(path).c_str(), "rb"); }

std::int64_t fileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(widePath(path).c_str(), GetFileExInfoStandard, &data)) return -1;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
  return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool localTime(std::int64_t secondsSince1970, std::tm& out) {
  __time64_t t = static_cast<__time64_t>(secondsSince1970);
  return _localtime64_s(&out, &t) == 0;
}

namespace {

struct ThreadStart {
  void (*procedure)(void*);
  void* context;
};

// Returns into the system's thread start, outside the engine; the thread then still runs
// every library's DLL_THREAD_DETACH, this one's included, before its handle is signalled.
DWORD WINAPI threadEntry(LPVOID parameter) {
  const ThreadStart start = *static_cast<ThreadStart*>(parameter);
  delete static_cast<ThreadStart*>(parameter);
  start.procedure(start.context);
  return 0;
}

HANDLE handleOf(std::uintptr_t value) { return reinterpret_cast<HANDLE>(value); }

}  // namespace

WorkerThread::~WorkerThread() { wait(); }

bool WorkerThread::start(void (*procedure)(void*), void* context) {
  std::lock_guard<std::mutex> guard(lock_);
  if (started_) return false;
  auto* parameter = new (std::nothrow) ThreadStart{procedure, context};
  if (!parameter) return false;
  HANDLE thread = ::CreateThread(nullptr, 0, threadEntry, parameter, 0, nullptr);
  if (thread == nullptr) {
    delete parameter;
    return false;
  }
  thread_ = reinterpret_cast<std::uintptr_t>(thread);
  started_ = true;
  return true;
}

bool WorkerThread::exited() {
  std::unique_lock<std::mutex> guard(lock_, std::try_to_lock);
  if (!guard.owns_lock()) return false;
  // A thread's handle is signalled once the thread has terminated, after its
  // DLL_THREAD_DETACH calls: nothing of it runs any more.
  if (started_ && ::WaitForSingleObject(handleOf(thread_), 0) == WAIT_OBJECT_0) {
    ::CloseHandle(handleOf(thread_));
    started_ = false;
  }
  return !started_;
}

void WorkerThread::wait() {
  std::lock_guard<std::mutex> guard(lock_);
  if (!started_ || ::GetThreadId(handleOf(thread_)) == ::GetCurrentThreadId()) return;
  ::WaitForSingleObject(handleOf(thread_), INFINITE);
  ::CloseHandle(handleOf(thread_));
  started_ = false;
}

void sleepMilliseconds(unsigned milliseconds) { ::Sleep(milliseconds); }

void debugOutput(const char* text) {
  ::OutputDebugStringA(text);
}

// --- Processor clock measurement -----------------------------------------------------------

bool readPerformanceCounter(std::int64_t& ticks) {
  LARGE_INTEGER value;
  if (!::QueryPerformanceCounter(&value)) return false;
  ticks = value.QuadPart;
  return true;
}

bool readPerformanceFrequency(std::int64_t& ticksPerSecond) {
  LARGE_INTEGER value;
  if (!::QueryPerformanceFrequency(&value) || value.QuadPart <= 0) return false;
  ticksPerSecond = value.QuadPart;
  return true;
}

int currentThreadPriority() { return ::GetThreadPriority(::GetCurrentThread()); }

bool setCurrentThreadPriority(int priority) {
  return ::SetThreadPriority(::GetCurrentThread(), priority) != 0;
}

}  // namespace platform
