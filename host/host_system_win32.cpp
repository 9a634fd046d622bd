#include <windows.h>

#include <string>

#include "common/unique_handle.h"
#include "common/entry.h"
#include "common/utf8.h"
#include "common/windows_path.h"
#include "host/host_system.h"

namespace zax::os {

namespace {

using FileHandle = UniqueFileHandle;

bool readExactly(HANDLE file, std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    DWORD done = 0;
    const DWORD ask = size > 0x10000000u ? 0x10000000u : static_cast<DWORD>(size);
    if (!::ReadFile(file, data, ask, &done, nullptr) || done == 0) return false;
    data += done;
    size -= done;
  }
  return true;
}

bool writeExactly(HANDLE file, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    DWORD done = 0;
    const DWORD ask = size > 0x10000000u ? 0x10000000u : static_cast<DWORD>(size);
    if (!::WriteFile(file, data, ask, &done, nullptr) || done == 0) return false;
    data += done;
    size -= done;
  }
  return true;
}

std::optional<std::uint64_t> sizeOf(HANDLE file) {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file, &size) || size.QuadPart < 0) return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

}  // namespace

std::string temporaryFolder() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
  if (length == 0 || length > MAX_PATH) return std::string();
  return toUtf8(std::wstring(buffer, length));
}

bool createDirectory(const std::string& path) {
  return ::CreateDirectoryW(widePath(path).c_str(), nullptr) != 0;
}

bool isDirectory(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(widePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool isFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(widePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string deploymentFolderProblem(const std::string&) { return std::string(); }

std::optional<std::vector<std::uint8_t>> readFile(const std::string& path) {
  FileHandle file(::CreateFileW(widePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  const auto size = sizeOf(file.get());
  if (!size || *size > SIZE_MAX) return std::nullopt;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(*size));
  if (!readExactly(file.get(), bytes.data(), bytes.size())) return std::nullopt;
  return bytes;
}

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  // Written beside the target and moved over it, so that a process reading the file at
  // the same moment never sees a half-written one.
  const std::string temporary = path + "." + std::to_string(::GetCurrentProcessId()) + ".new";
  {
    FileHandle file(::CreateFileW(widePath(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    bool written = writeExactly(file.get(), bytes.data(), bytes.size());
    written = file.close() && written;
    if (!written) {
      ::DeleteFileW(widePath(temporary).c_str());
      return false;
    }
  }
  if (!::MoveFileExW(widePath(temporary).c_str(), widePath(path).c_str(), MOVEFILE_REPLACE_EXISTING)) {
    ::DeleteFileW(widePath(temporary).c_str());
    return false;
  }
  return true;
}

bool deleteFile(const std::string& path) { return ::DeleteFileW(widePath(path).c_str()) != 0; }

bool readFileStart(const std::string& path, std::size_t most) {
  FileHandle file(::CreateFileW(widePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  const auto size = sizeOf(file.get());
  if (!size) return false;
  std::vector<std::uint8_t> start(*size < most ? static_cast<std::size_t>(*size) : most);
  return readExactly(file.get(), start.data(), start.size());
}

bool probeNewFile(const std::string& path) {
  const std::wstring wide = widePath(path);
  FileHandle file(::CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  const std::uint8_t blank = ' ';
  const bool written = writeExactly(file.get(), &blank, 1);
  const bool closed = file.close();
  const bool deleted = ::DeleteFileW(wide.c_str()) != 0;
  return written && closed && deleted;
}

std::wstring toUpper(const std::wstring& text) {
  std::wstring upper = text;
  if (!upper.empty()) ::CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
  return upper;
}

void* loadLibrary(const std::string& path) {
  return reinterpret_cast<void*>(::LoadLibraryW(widePath(path).c_str()));
}

void* findEntry(void* library, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void freeLibrary(void* library) { ::FreeLibrary(static_cast<HMODULE>(library)); }

std::int32_t callEntry(void* entry, const char* command, std::intptr_t operand1,
                       std::intptr_t operand2, std::intptr_t operand3) {
  // The command word travels in the window-handle slot and the operands in the message and
  // its two parameters (engine/entry.h).
  const auto window = reinterpret_cast<HWND>(const_cast<char*>(command));
#ifdef _WIN64
  // Called directly: CallWindowProcA's message slot would cut an address to 32 bits.
  return static_cast<std::int32_t>(reinterpret_cast<Interface1Entry>(entry)(
      window, static_cast<WPARAM>(operand1), static_cast<WPARAM>(operand2),
      static_cast<LPARAM>(operand3)));
#else
  return static_cast<std::int32_t>(::CallWindowProcA(reinterpret_cast<WNDPROC>(entry), window,
                                                     static_cast<UINT>(operand1),
                                                     static_cast<WPARAM>(operand2),
                                                     static_cast<LPARAM>(operand3)));
#endif
}

}  // namespace zax::os
