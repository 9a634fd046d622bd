// The operating-system seam on Windows: the engine's paths are UTF-8 and go to the wide
// calls, in the long form where they pass MAX_PATH, so that every name of every script and
// paths up to the system's limit reach the file system as they are.
#include "engine/platform/platform.h"

#include "common/unique_handle.h"
#include "common/utf8.h"
#include "common/windows_path.h"

#include <windows.h>
#include <winternl.h>
#include <winioctl.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace platform {

using zax::widePath;

std::optional<std::string> nativePath(const std::string& path) { return path; }

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

bool probeWritableFolder(const std::string& folder) {
  std::string prefix = folder;
  if (prefix.empty() || prefix.back() != '\\') prefix += '\\';
  // Numbered from the clock, as GetTempFileName numbers its files, and deleted as its
  // handle closes.
  const DWORD start = ::GetTickCount();
  for (DWORD attempt = 0; attempt < 100; ++attempt) {
    char name[16];
    std::snprintf(name, sizeof name, "zax%04lX.tmp", static_cast<unsigned long>((start + attempt) & 0xFFFF));
    const zax::UniqueFileHandle file(::CreateFileW(widePath(prefix + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                                   CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                                   nullptr));
    if (file) return true;
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

// Not declared by the SDK's headers; exported by ntdll.
extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE file, HANDLE event, PVOID apcRoutine, PVOID apcContext,
                                               PIO_STATUS_BLOCK status, PVOID information, ULONG length,
                                               FILE_INFORMATION_CLASS informationClass, BOOLEAN singleEntry,
                                               PUNICODE_STRING fileName, BOOLEAN restartScan);

namespace {

Failure failureOfStatus(NTSTATUS status) {
  return failureOfSystemError(::RtlNtStatusToDosError(status));
}

// Opens or creates `name` relative to the folder handle `folder` (NtCreateFile with the
// folder as root directory: no path is walked, so no link on the way can lead elsewhere).
// Links at `name` itself are opened as themselves, never followed.
NTSTATUS openRelative(HANDLE folder, const std::string& name, ACCESS_MASK access, ULONG share,
                      ULONG disposition, ULONG options, HANDLE& handle, ULONG_PTR* information = nullptr) {
  std::wstring wide = zax::fromUtf8(name);
  UNICODE_STRING text;
  text.Buffer = wide.data();
  text.Length = static_cast<USHORT>(wide.size() * sizeof(wchar_t));
  text.MaximumLength = text.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
  IO_STATUS_BLOCK io{};
  handle = INVALID_HANDLE_VALUE;
  // A name no UNICODE_STRING can hold is one no file system takes.
  if (wide.size() > 32767) return static_cast<NTSTATUS>(0xC0000106L);  // STATUS_NAME_TOO_LONG
  HANDLE opened = nullptr;
  const NTSTATUS status =
      ::NtCreateFile(&opened, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                     disposition, options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (status >= 0) {
    handle = opened;
    if (information) *information = io.Information;
  }
  return status;
}

DWORD attributesOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION information;
  return ::GetFileInformationByHandle(handle, &information) ? information.dwFileAttributes
                                                            : INVALID_FILE_ATTRIBUTES;
}

// An instant as Windows keeps it: 100 ns steps since 1601 (a finer part is dropped),
// computed from the instant itself, since converting through local calendar fields would
// shift times on the other side of a daylight-saving change by an hour. False past what a
// FILETIME holds (before 1601, much past the year 30000).
bool fileTimeOf(std::int64_t secondsSince1970, std::int32_t nanoseconds, FILETIME& time) {
  const std::int64_t kEpochDifference = 11644473600LL;
  if (secondsSince1970 < -kEpochDifference || secondsSince1970 > 900000000000LL) return false;
  ULARGE_INTEGER ticks;
  ticks.QuadPart = static_cast<ULONGLONG>((secondsSince1970 + kEpochDifference) * 10000000LL + nanoseconds / 100);
  time.dwLowDateTime = ticks.LowPart;
  time.dwHighDateTime = ticks.HighPart;
  return true;
}

FileId idOf(const BY_HANDLE_FILE_INFORMATION& information) {
  FileId id;
  id.valid = true;
  id.volume = information.dwVolumeSerialNumber;
  id.index = (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  return id;
}

FileId idOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION information;
  return ::GetFileInformationByHandle(handle, &information) ? idOf(information) : FileId();
}

EntryKind kindOf(DWORD attributes) {
  if (attributes == INVALID_FILE_ATTRIBUTES) return EntryKind::missing;
  // Symbolic links, junctions and mount points all lead somewhere else.
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::link;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EntryKind::directory;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return EntryKind::other;
  return EntryKind::file;
}

constexpr ACCESS_MASK kFolderAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY;
// Without delete sharing: while the folder is held nobody can rename or remove it, so that
// what is made in it stays where the job put it.
constexpr ULONG kFolderSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

// A held output folder: a directory handle that the files and folders below it are made
// relative to.
class WindowsOutputFolder : public OutputFolder {
 public:
  explicit WindowsOutputFolder(HANDLE handle) : handle_(handle) {}

  EntryKind entryKind(const std::string& name) override {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    std::uint64_t index = 0;
    listed(name, attributes, index);
    return kindOf(attributes);
  }

  FileId fileId(const std::string& name) override {
    HANDLE entry;
    if (openRelative(handle_.get(), name, FILE_READ_ATTRIBUTES, kAnySharing, FILE_OPEN, 0, entry) < 0)
      return FileId();
    const zax::UniqueFileHandle owner(entry);
    return idOf(entry);
  }

  Failure openFolder(const std::string& name, bool create, std::unique_ptr<OutputFolder>& folder,
                     bool& made) override {
    HANDLE opened;
    ULONG_PTR information = 0;
    const NTSTATUS status = openRelative(handle_.get(), name, kFolderAccess, kFolderSharing, create ? FILE_OPEN_IF : FILE_OPEN,
                                         FILE_DIRECTORY_FILE, opened, &information);
    made = false;
    if (status < 0) {
      // Something that is not a folder is there; a link to a file opens as one.
      if (status == static_cast<NTSTATUS>(0xC0000103L)) return kindOfName(name);  // STATUS_NOT_A_DIRECTORY
      return failureOfStatus(status);
    }
    zax::UniqueFileHandle owner(opened);
    made = information == FILE_CREATED;
    if (const Failure failure = failureOfFolderKind(kindOf(attributesOf(opened))); failure != Failure::none)
      return failure;
    // Windows opens a link itself here (FILE_OPEN_REPARSE_POINT), but Wine follows a Unix
    // link and shows its target. This folder's own listing shows the entry as it is: the
    // handle is taken only when the entry is a real folder and the very one opened, so a
    // link put there before the open, or swapped in and out around it, is caught.
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    std::uint64_t index = 0;
    const FileId openedId = idOf(opened);
    if (!listed(name, attributes, index) || kindOf(attributes) != EntryKind::directory ||
        !openedId.valid || openedId.index != index)
      return Failure::isLink;
    folder.reset(new WindowsOutputFolder(owner.get()));
    owner.release();
    return Failure::none;
  }

  Failure createFile(const std::string& name, Replace replace, std::int32_t, OutputFile& file) override {
    file = OutputFile{{}, name, name, FileId()};
    HANDLE handle;
    NTSTATUS status = createNew(name, handle);
    if (status < 0 && replace != Replace::no && failureOfStatus(status) == Failure::exists) {
      if (const Failure failure = replaceable(name, replace); failure != Failure::none) return failure;
      status = createBeside(file.writingName, handle, FILE_NON_DIRECTORY_FILE);
    }
    if (status < 0) return failureOfStatus(status);
    zax::UniqueFileHandle owner(handle);
    file.id = idOf(handle);
    // The C library may have no room for another stream: the file then goes again.
    const int descriptor = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (descriptor == -1) {
      dispose(handle);
      return Failure::other;
    }
    owner.release();  // the descriptor holds it now
    zax::UniqueDescriptor held(descriptor);
    file.stream.reset(::_fdopen(descriptor, "wb"));
    if (!file.stream) {
      dispose(handle);
      return Failure::other;
    }
    held.release();  // the stream holds it now
    return Failure::none;
  }

  Failure closeFile(OutputFile& file, bool keep) override {
    const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file.stream.get())));
    Failure failure = Failure::none;
    if (keep && std::fflush(file.stream.get()) != 0) failure = lastStreamFailure();
    if (keep && failure == Failure::none && file.writingName != file.name) failure = nameFile(handle, file.name, FileRenameInformation);
    // Removed through its own handle before it is closed, so that only this file can go.
    if (!keep || failure != Failure::none) dispose(handle);
    if (!file.stream.close() && keep && failure == Failure::none) failure = lastStreamFailure();
    return keep ? failure : Failure::none;
  }

  zax::UniqueStream openToRead(const std::string& name) override {
    HANDLE handle;
    if (openRelative(handle_.get(), name, GENERIC_READ, FILE_SHARE_READ, FILE_OPEN, FILE_NON_DIRECTORY_FILE,
                     handle) < 0)
      return {};
    zax::UniqueFileHandle owner(handle);
    zax::UniqueDescriptor descriptor(::_open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_RDONLY | _O_BINARY));
    if (!descriptor) return {};
    owner.release();  // the descriptor holds it now
    zax::UniqueStream stream(::_fdopen(descriptor.get(), "rb"));
    if (stream) descriptor.release();  // the stream holds it now
    return stream;
  }

  // A second name for the target's file, made through the target's own handle with this
  // folder as the root of the new name.
  Failure makeHardLink(const std::string& name, OutputFolder& from, const std::string& target) override {
    HANDLE file;
    NTSTATUS status = openRelative(reinterpret_cast<HANDLE>(from.nativeHandle()), target, FILE_READ_ATTRIBUTES,
                                   kAnySharing, FILE_OPEN, FILE_NON_DIRECTORY_FILE, file);
    if (status < 0) return failureOfStatus(status);
    const zax::UniqueFileHandle owner(file);
    if (entryKind(name) != EntryKind::missing) {
      if (const Failure failure = replaceable(name, Replace::yes); failure != Failure::none) return failure;
    }
    return nameFile(file, name, FileLinkInformation);
  }

  // Made under a name of its own, given its reparse data, and then put in place: a system
  // that cannot make the link (Wine, a volume without links, no right to make them) leaves
  // nothing behind, and the caller can make a copy instead.
  Failure makeSymbolicLink(const std::string& name, const std::string& target, bool toFolder) override {
    if (entryKind(name) != EntryKind::missing) {
      if (const Failure failure = replaceable(name, Replace::yes); failure != Failure::none) return failure;
    }
    std::string temporary;
    HANDLE link;
    NTSTATUS status = createBeside(temporary, link, toFolder ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE);
    if (status < 0) return failureOfStatus(status);
    const zax::UniqueFileHandle owner(link);
    const std::wstring wide = zax::fromUtf8(target);
    const std::size_t bytes = wide.size() * sizeof(wchar_t);
    // The reparse data of a symbolic link: its tag and length, then where the target's
    // two names (the one followed and the one shown, here the same) sit in the buffer.
    struct SymbolicLinkReparse {
      ULONG tag;
      USHORT dataLength;
      USHORT reserved;
      USHORT substituteOffset, substituteLength, printOffset, printLength;
      ULONG flags;
    };
    std::vector<unsigned char> buffer(sizeof(SymbolicLinkReparse) + 2 * bytes);
    SymbolicLinkReparse reparse{IO_REPARSE_TAG_SYMLINK,
                                static_cast<USHORT>(buffer.size() - 8),
                                0,
                                0,
                                static_cast<USHORT>(bytes),
                                static_cast<USHORT>(bytes),
                                static_cast<USHORT>(bytes),
                                SYMLINK_FLAG_RELATIVE};
    std::memcpy(buffer.data(), &reparse, sizeof reparse);
    std::memcpy(buffer.data() + sizeof reparse, wide.data(), bytes);
    std::memcpy(buffer.data() + sizeof reparse + bytes, wide.data(), bytes);
    DWORD returned = 0;
    Failure failure = Failure::none;
    if (buffer.size() > MAXIMUM_REPARSE_DATA_BUFFER_SIZE ||
        !::DeviceIoControl(link, FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr,
                           0, &returned, nullptr))
      failure = Failure::other;
    if (failure == Failure::none) failure = nameFile(link, name, FileRenameInformation);
    if (failure != Failure::none) dispose(link);
    return failure;
  }

  bool setFolderAttributes(const std::string& name, std::int32_t, std::int64_t seconds,
                           std::int32_t nanoseconds) override {
    HANDLE folder;
    if (openRelative(handle_.get(), name, FILE_WRITE_ATTRIBUTES | FILE_READ_ATTRIBUTES, kAnySharing, FILE_OPEN,
                     FILE_DIRECTORY_FILE, folder) < 0)
      return false;
    const zax::UniqueFileHandle owner(folder);
    FILETIME time;
    return kindOf(attributesOf(folder)) == EntryKind::directory && fileTimeOf(seconds, nanoseconds, time) &&
           ::SetFileTime(folder, &time, nullptr, &time) != 0;
  }

  std::intptr_t nativeHandle() const override { return reinterpret_cast<std::intptr_t>(handle_.get()); }

 private:
  static constexpr ULONG kAnySharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

  // Never over anything that is there, a link included.
  NTSTATUS createNew(const std::string& name, HANDLE& handle) {
    return openRelative(handle_.get(), name, GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ,
                        FILE_CREATE, FILE_NON_DIRECTORY_FILE, handle);
  }

  // Looks `name` up in this folder's listing, which shows a link as a reparse point under
  // Wine too, with the number of the entry listed. A fresh handle of the folder for each
  // look: a handle keeps the first pattern it was asked for.
  bool listed(const std::string& name, DWORD& attributes, std::uint64_t& index) {
    attributes = INVALID_FILE_ATTRIBUTES;
    HANDLE listing;
    if (openRelative(handle_.get(), std::string(), FILE_LIST_DIRECTORY, kAnySharing, FILE_OPEN,
                     FILE_DIRECTORY_FILE, listing) < 0)
      return false;
    const zax::UniqueFileHandle owner(listing);
    std::wstring pattern = zax::fromUtf8(name);
    UNICODE_STRING mask;
    mask.Buffer = pattern.data();
    mask.Length = static_cast<USHORT>(pattern.size() * sizeof(wchar_t));
    mask.MaximumLength = mask.Length;
    // One entry and its name (at most 255 UTF-16 units).
    alignas(8) unsigned char buffer[sizeof(FILE_ID_BOTH_DIR_INFORMATION) + 256 * sizeof(wchar_t)];
    IO_STATUS_BLOCK io{};
    if (NtQueryDirectoryFile(listing, nullptr, nullptr, nullptr, &io, buffer, sizeof buffer,
                               FileIdBothDirectoryInformation, TRUE, &mask, TRUE) != 0)
      return false;
    const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFORMATION*>(buffer);
    attributes = entry->FileAttributes;
    index = static_cast<std::uint64_t>(entry->FileId.QuadPart);
    return true;
  }

  // Whether what is at `name` may be replaced: a file or a link, not a folder, and not a
  // read-only file unless told.
  Failure replaceable(const std::string& name, Replace replace) {
    HANDLE entry;
    if (openRelative(handle_.get(), name, FILE_READ_ATTRIBUTES, kAnySharing, FILE_OPEN, 0, entry) < 0)
      return Failure::none;
    const zax::UniqueFileHandle owner(entry);
    const DWORD attributes = attributesOf(entry);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return Failure::none;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Failure::isFolder;
    if (replace != Replace::evenReadOnly && (attributes & FILE_ATTRIBUTE_READONLY)) return Failure::readOnly;
    return Failure::none;
  }

  // Creates an entry under a name of its own beside the others, to be renamed over an entry
  // that is there: a rename replaces the entry itself, where deleting a file link under
  // Wine deletes what it leads to.
  NTSTATUS createBeside(std::string& name, HANDLE& handle, ULONG options) {
    NTSTATUS status = 0;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
      char temporary[32];
      std::snprintf(temporary, sizeof temporary, ".zax%08lx%02u.tmp", ::GetCurrentProcessId(), attempt);
      name = temporary;
      status = openRelative(handle_.get(), name, GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ,
                            FILE_CREATE, options, handle);
      if (status >= 0 || failureOfStatus(status) != Failure::exists) break;
    }
    return status;
  }

  // Gives the open file `name` in this folder, by a rename or a new link, replacing a file
  // or link there (the entry itself, never what a link leads to). Straight to the system
  // with this folder as the root of the name: Wine's SetFileInformationByHandle reads the
  // name as a path of the current folder instead.
  Failure nameFile(HANDLE handle, const std::string& name, FILE_INFORMATION_CLASS how) {
    const std::wstring wide = zax::fromUtf8(name);
    // FILE_RENAME_INFO and FILE_LINK_INFORMATION are laid out alike.
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + (wide.size() + 1) * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = handle_.get();
    rename->FileNameLength = static_cast<DWORD>(wide.size() * sizeof(wchar_t));
    std::memcpy(rename->FileName, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = ::NtSetInformationFile(handle, &io, rename, static_cast<ULONG>(buffer.size()), how);
    return status >= 0 ? Failure::none : failureOfStatus(status);
  }

  Failure kindOfName(const std::string& name) {
    return entryKind(name) == EntryKind::link ? Failure::isLink : Failure::notFolder;
  }

  static void dispose(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
  }

  zax::UniqueFileHandle handle_;
};

}  // namespace

Failure openOutputRoot(const std::string& path, std::unique_ptr<OutputFolder>& root) {
  zax::UniqueFileHandle handle(::CreateFileW(widePath(path).c_str(), kFolderAccess | SYNCHRONIZE, kFolderSharing,
                                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle) return lastFailure();
  root.reset(new WindowsOutputFolder(handle.get()));
  handle.release();
  return Failure::none;
}

bool setStreamFileTime(std::FILE* file, std::int64_t secondsSince1970, std::int32_t nanoseconds) {
  FILETIME time;
  if (!fileTimeOf(secondsSince1970, nanoseconds, time) || std::fflush(file) != 0) return false;
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
  if (handle == INVALID_HANDLE_VALUE) return false;
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

ArchiveFile openArchiveFile(const std::string& path) {
  ArchiveFile file;
  zax::UniqueStream stream(::_wfopen(widePath(path).c_str(), L"rb"));
  if (!stream) return file;
  const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream.get())));
  BY_HANDLE_FILE_INFORMATION information;
  if (!::GetFileInformationByHandle(handle, &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return file;
  file.stream = std::move(stream);
  file.size = (static_cast<std::int64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
  file.id = idOf(information);
  return file;
}

gzFile gzipOf(std::FILE* file) {
  if (std::fseek(file, 0, SEEK_SET) != 0) return nullptr;
  zax::UniqueDescriptor copy(::_dup(::_fileno(file)));
  if (!copy) return nullptr;
  const gzFile gz = gzdopen(copy.get(), "rb");
  if (gz) copy.release();  // the gzip layer holds it now
  return gz;
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

bool ThreadTraits::close(Handle thread) { return ::CloseHandle(handleOf(thread)) != 0; }

WorkerThread::~WorkerThread() { wait(); }

bool WorkerThread::start(void (*procedure)(void*), void* context) {
  std::lock_guard<std::mutex> guard(lock_);
  if (thread_) return false;
  auto* parameter = new (std::nothrow) ThreadStart{procedure, context};
  if (!parameter) return false;
  HANDLE thread = ::CreateThread(nullptr, 0, threadEntry, parameter, 0, nullptr);
  if (thread == nullptr) {
    delete parameter;
    return false;
  }
  thread_.reset(reinterpret_cast<std::uintptr_t>(thread));
  return true;
}

bool WorkerThread::exited() {
  std::unique_lock<std::mutex> guard(lock_, std::try_to_lock);
  if (!guard.owns_lock()) return false;
  // A thread's handle is signalled once the thread has terminated, after its
  // DLL_THREAD_DETACH calls: nothing of it runs any more.
  if (thread_ && ::WaitForSingleObject(handleOf(thread_.get()), 0) == WAIT_OBJECT_0) thread_.reset();
  return !thread_;
}

void WorkerThread::wait() {
  std::lock_guard<std::mutex> guard(lock_);
  if (!thread_ || ::GetThreadId(handleOf(thread_.get())) == ::GetCurrentThreadId()) return;
  ::WaitForSingleObject(handleOf(thread_.get()), INFINITE);
  thread_.reset();
}

bool WorkerThread::exitedWithin(unsigned milliseconds) {
  std::unique_lock<std::mutex> guard(lock_, std::try_to_lock);
  if (!guard.owns_lock()) return false;
  if (thread_ && ::WaitForSingleObject(handleOf(thread_.get()), milliseconds) == WAIT_OBJECT_0)
    thread_.reset();
  return !thread_;
}

bool WorkerThread::endSignal(std::intptr_t& signal) {
  std::unique_lock<std::mutex> guard(lock_, std::try_to_lock);
  if (!guard.owns_lock() || !thread_) return false;
  // The thread's own handle, signalled once it has terminated (after its DLL_THREAD_DETACH
  // calls): when it fires, "status" answers 0 at once.
  HANDLE copy = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), handleOf(thread_.get()), ::GetCurrentProcess(), &copy,
                         SYNCHRONIZE, FALSE, 0)) {
    return false;
  }
  signal = reinterpret_cast<std::intptr_t>(copy);
  return true;
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
