// The operating-system seam on Windows: the engine's paths go to the ANSI calls unchanged.
#include "platform.h"

#include <windows.h>

namespace platform {

TestHooks& testHooks() {
  static TestHooks hooks;
  return hooks;
}

std::optional<std::string> nativePath(const std::string& path) { return path; }

bool createDirectory(const std::string& path) {
  return ::CreateDirectoryA(path.c_str(), nullptr) != 0;
}

PathKind pathKind(const std::string& path) {
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::missing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::directory : PathKind::file;
}

bool probeWritableFolder(const std::string& folder) {
  if (testHooks().probeWritableFolder) return testHooks().probeWritableFolder(folder);
  char name[MAX_PATH + 16];
  if (::GetTempFileNameA(folder.c_str(), "zax", 0, name) == 0) return false;
  ::DeleteFileA(name);
  return true;
}

std::FILE* openOutputFile(const std::string& path) {
  if (testHooks().openOutputFile) return testHooks().openOutputFile(path);
  return std::fopen(path.c_str(), "wb");
}

bool removeFile(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

bool setFileTime(const std::string& path, std::int64_t secondsSince1970) {
  const std::int64_t kEpochDifference = 11644473600LL;
  // A FILETIME counts from 1601 and cannot hold much past the year 30000.
  if (secondsSince1970 < -kEpochDifference || secondsSince1970 > 900000000000LL) return false;
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // The instant itself, in 100 ns steps since 1601: converting through local calendar
  // fields would shift times on the other side of a daylight-saving change by an hour.
  ULARGE_INTEGER ticks;
  ticks.QuadPart = static_cast<ULONGLONG>((secondsSince1970 + kEpochDifference) * 10000000LL);
  FILETIME time;
  time.dwLowDateTime = ticks.LowPart;
  time.dwHighDateTime = ticks.HighPart;
  BOOL ok = ::SetFileTime(file, &time, nullptr, &time);
  ::CloseHandle(file);
  return ok != 0;
}

std::int64_t fileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
  return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool localTime(std::int64_t secondsSince1970, std::tm& out) {
  __time64_t t = static_cast<__time64_t>(secondsSince1970);
  return _localtime64_s(&out, &t) == 0;
}

namespace {
DWORD WINAPI threadEntry(LPVOID parameter) {
  reinterpret_cast<void (*)()>(parameter)();
  return 0;
}
}  // namespace

bool startDetachedThread(void (*procedure)()) {
  if (testHooks().startDetachedThread) return testHooks().startDetachedThread(procedure);
  HANDLE thread = ::CreateThread(nullptr, 0, threadEntry, reinterpret_cast<LPVOID>(procedure), 0, nullptr);
  if (thread == nullptr) return false;
  ::CloseHandle(thread);
  return true;
}

void sleepMilliseconds(unsigned milliseconds) { ::Sleep(milliseconds); }

void debugOutput(const char* text) {
  if (testHooks().debugOutput) {
    testHooks().debugOutput(text);
    return;
  }
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
