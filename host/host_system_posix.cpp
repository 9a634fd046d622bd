#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <cwctype>

#include "common/unique_resource.h"
#include "common/wine_paths.h"
#include "common/entry.h"
#include "host/host_system.h"

namespace zax::os {

namespace {

// The file-system path of a host path, or nothing for one that cannot exist here (another
// drive letter, a UNC server).
std::optional<std::string> nativePath(const std::string& path) {
  auto mapped = untgz::paths::posixPathOf(path);
  if (mapped && mapped->empty()) return std::nullopt;
  return mapped;
}

using Descriptor = UniqueDescriptor;

int openAt(const std::string& path, int flags, mode_t mode = 0) {
  const auto native = nativePath(path);
  if (!native) {
    errno = ENOENT;
    return -1;
  }
  return ::open(native->c_str(), flags | O_CLOEXEC, mode);
}

bool statAt(const std::string& path, struct stat& st) {
  const auto native = nativePath(path);
  return native && ::stat(native->c_str(), &st) == 0;
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t done = ::write(fd, data, size);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    data += done;
    size -= static_cast<std::size_t>(done);
  }
  return true;
}

}  // namespace

std::string temporaryFolder() {
  const char* variable = std::getenv("TMPDIR");
  if (variable && variable[0] == '/') return untgz::paths::windowsPathOf(variable);
  // /tmp is shared: the first user to deploy there would own the folder and lock every
  // other user out. Each user has a folder of their own instead, made owner-only.
  return untgz::paths::windowsPathOf("/tmp/zaxsoftware-" + std::to_string(::geteuid()));
}

bool createDirectory(const std::string& path) {
  const auto native = nativePath(path);
  return native && ::mkdir(native->c_str(), 0700) == 0;
}

bool isDirectory(const std::string& path) {
  struct stat st;
  return statAt(path, st) && S_ISDIR(st.st_mode);
}

bool isFile(const std::string& path) {
  struct stat st;
  return statAt(path, st) && !S_ISDIR(st.st_mode);
}

std::string deploymentFolderProblem(const std::string& path) {
  const auto native = nativePath(path);
  if (!native) return "it cannot exist here";
  std::string folder = *native;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  const auto owner = [](uid_t uid) {
    return "it belongs to another user (uid " + std::to_string(uid) + ")";
  };
  struct stat st;
  if (::lstat(folder.c_str(), &st) != 0) {
    if (errno != ENOENT) return std::string("it cannot be examined: ") + std::strerror(errno);
  } else {
    if (!S_ISDIR(st.st_mode)) return "it is not a folder of its own (a link or a file)";
    if (st.st_uid != ::geteuid()) return owner(st.st_uid);
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return "other users can write to it";
  }
  // The folder it lies in: whoever controls that one can swap this one. Root's folders and
  // the user's own are safe, and so is a shared sticky one such as /tmp, where nobody can
  // move another user's folder.
  const std::string::size_type slash = folder.rfind('/');
  const std::string parent = slash == 0 || slash == std::string::npos ? "/" : folder.substr(0, slash);
  if (::lstat(parent.c_str(), &st) != 0) return std::string();  // created with the chain
  if (!S_ISDIR(st.st_mode)) return "the folder above it is not a folder of its own";
  if (st.st_uid != 0 && st.st_uid != ::geteuid()) return "the folder above " + owner(st.st_uid).substr(3);
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (st.st_mode & S_ISVTX) == 0) {
    return "other users can write to the folder above it";
  }
  return std::string();
}

std::optional<std::vector<std::uint8_t>> readFile(const std::string& path) {
  Descriptor file(openAt(path, O_RDONLY));
  if (!file) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  std::uint8_t chunk[65536];
  for (;;) {
    const ssize_t done = ::read(file.get(), chunk, sizeof chunk);
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) return std::nullopt;  // a folder ends here too (EISDIR)
    if (done == 0) break;
    bytes.insert(bytes.end(), chunk, chunk + done);
  }
  return bytes;
}

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  // Written beside the target and renamed over it: another process that is reading or has
  // loaded the old file never sees a half-written one.
  const auto native = nativePath(path);
  if (!native) return false;
  std::string temporary = *native + ".XXXXXX";
  const int fd = ::mkstemp(&temporary[0]);
  if (fd < 0) return false;
  Descriptor file(fd);
  bool written = ::fchmod(fd, 0644) == 0 && writeAll(fd, bytes.data(), bytes.size());
  written = file.close() && written;
  if (!written || ::rename(temporary.c_str(), native->c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

bool deleteFile(const std::string& path) {
  const auto native = nativePath(path);
  return native && ::unlink(native->c_str()) == 0;
}

bool readFileStart(const std::string& path, std::size_t most) {
  Descriptor file(openAt(path, O_RDONLY));
  struct stat st;
  if (!file || ::fstat(file.get(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  const auto size = static_cast<std::uint64_t>(st.st_size);
  std::vector<std::uint8_t> start(size < most ? static_cast<std::size_t>(size) : most);
  if (start.empty()) return true;
  ssize_t done;
  do {
    done = ::read(file.get(), start.data(), start.size());
  } while (done < 0 && errno == EINTR);
  return done >= 0;
}

bool probeNewFile(const std::string& path) {
  Descriptor file(openAt(path, O_WRONLY | O_CREAT | O_EXCL, 0600));
  if (!file) return false;
  const std::uint8_t blank = ' ';
  const bool written = writeAll(file.get(), &blank, 1);
  const bool closed = file.close();
  const bool deleted = deleteFile(path);
  return written && closed && deleted;
}

std::wstring toUpper(const std::wstring& text) {
  std::wstring upper = text;
  for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
  return upper;
}

void* loadLibrary(const std::string& path) {
  const auto native = nativePath(path);
  return native ? ::dlopen(native->c_str(), RTLD_NOW | RTLD_LOCAL) : nullptr;
}

void* findEntry(void* library, const char* name) { return ::dlsym(library, name); }

void freeLibrary(void* library) { ::dlclose(library); }

std::int32_t callEntry(void* entry, const char* command, std::intptr_t operand1,
                       std::intptr_t operand2, std::intptr_t operand3) {
  return reinterpret_cast<Interface1Entry>(entry)(command, operand1, operand2, operand3);
}

}  // namespace zax::os
