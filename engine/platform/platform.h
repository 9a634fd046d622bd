// The engine's only road to the operating system. Paths are the engine's own Windows
// paths (drive or UNC form, backslash separators). The win32 implementation hands them to
// the system unchanged; the posix implementation maps them the way Wine maps a Linux file
// system: drive Z: is the root "/", backslashes become slashes, and no other drive letter
// and no UNC server exists.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

namespace platform {

// The path the C library and zlib can open, or nothing for a path that cannot exist
// here (another drive or a UNC server on the native build).
std::optional<std::string> nativePath(const std::string& path);

// --- Folders and files --------------------------------------------------------------

// Creates one folder (CreateDirectoryA with default security). False when it could not
// be created, which includes a folder that already exists.
bool createDirectory(const std::string& path);

enum class PathKind { missing, file, directory };
// What is at the path (GetFileAttributesA).
PathKind pathKind(const std::string& path);

// Creates a uniquely named file with the prefix "zax" in the folder and deletes it again
// (GetTempFileNameA + DeleteFileA). True when the folder took the file.
bool probeWritableFolder(const std::string& folder);

// Opens a file for binary writing ("wb"), replacing an existing one.
std::FILE* openOutputFile(const std::string& path);

// Deletes a file; failures are ignored by every caller.
bool removeFile(const std::string& path);

// Sets the creation and last-write time of an existing file to the instant given in
// seconds since 1970 UTC; the last-access time is left alone. False when it could not.
bool setFileTime(const std::string& path, std::int64_t secondsSince1970);

// Size in bytes of the file, or -1 when it cannot be opened.
std::int64_t fileSize(const std::string& path);

// Local calendar time of an instant (localtime); false when it cannot be converted.
bool localTime(std::int64_t secondsSince1970, std::tm& out);

// --- Threads and time ----------------------------------------------------------------

// Starts a thread that nobody waits for (CreateThread with its handle closed at once, or a
// detached thread). False when no thread could be started.
bool startDetachedThread(void (*procedure)());

void sleepMilliseconds(unsigned milliseconds);

// --- Diagnostics -----------------------------------------------------------------------

// One line of debug output (OutputDebugStringA on Windows, syslog at debug level here).
void debugOutput(const char* text);

// --- Seams for tests ---------------------------------------------------------------------

// Faults a test can inject: each hook, when set, answers in place of the real call.
struct TestHooks {
  std::function<bool(const std::string& folder)> probeWritableFolder;
  std::function<std::FILE*(const std::string& path)> openOutputFile;
  std::function<bool(void (*procedure)())> startDetachedThread;
  std::function<void(const char* text)> debugOutput;
};
TestHooks& testHooks();

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
