// The engine host's road to the operating system. Paths are Windows paths in UTF-8, as the
// host builds them from the control's Unicode strings; on Windows they go to the wide calls,
// in the long form ("\\?\") where they pass MAX_PATH. The native implementation maps them the way Wine maps a
// Linux file system (drive Z: is the root "/", backslashes become slashes, no other drive
// and no UNC server exists) and answers the temporary folder in that form, so the host
// works the same way on both builds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/unique_resource.h"

namespace zax::os {

// The folder separator of the host's paths.
constexpr char kSeparator = '\\';

// The user's temporary folder (GetTempPathW; natively TMPDIR, else a folder of the user's
// own under /tmp, so that every user deploys an engine of their own), or "" when the
// system gives none.
std::string temporaryFolder();

// Creates one folder (CreateDirectoryW without security attributes; natively owner-only).
// False when it could not, which includes a folder that already exists.
bool createDirectory(const std::string& path);

bool isDirectory(const std::string& path);
bool isFile(const std::string& path);

// Why the folder must not hold the engine, or "" when it may: natively, when something is
// there that is not a real folder (a link, a file), or a folder that another user owns or
// that others can write to, or it lies in such a folder (one not shared and sticky like
// /tmp), so another account could plant the library this process loads. Never on Windows,
// where the temporary folder is the user's own.
std::string deploymentFolderProblem(const std::string& path);

// The whole file, or nothing when it cannot be opened or read.
std::optional<std::vector<std::uint8_t>> readFile(const std::string& path);

// Replaces the file with the bytes in one step (written beside it, then moved over it).
// False on any failure, with the old file left as it was.
bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

bool deleteFile(const std::string& path);

// Opens an existing file for reading (not creating it; Windows: shared for reading and
// writing, so a file held open without read sharing fails) and reads up to `most` bytes from
// its start. False on any failure, and for a folder.
bool readFileStart(const std::string& path, std::size_t most);

// Creates a new file at the path (failing when anything is there already), writes one
// blank, closes and deletes it. False on any failure.
bool probeNewFile(const std::string& path);

// Upper case as the system's locale sees it.
std::wstring toUpper(const std::wstring& text);

// --- The engine library ------------------------------------------------------------------

// LoadLibraryW (natively dlopen); null when the library does not load.
void* loadLibrary(const std::string& path);
// GetProcAddress (natively dlsym); null when the library has no such entry.
void* findEntry(void* library, const char* name);
void freeLibrary(void* library);

// Owns a loaded library: freed when its owner is reset or goes, unless release() gives it up.
struct LibraryTraits {
  using Handle = void*;
  static constexpr Handle invalid() { return nullptr; }
  static bool close(Handle library) {
    freeLibrary(library);
    return true;
  }
};
using UniqueLibrary = UniqueResource<LibraryTraits>;

// Runs the entry with the command word's address and three operands (CallWindowProcA on
// 32-bit Windows, where every value is 32 bits; a direct call on 64-bit Windows and
// natively, operands at pointer width) and returns its result.
std::int32_t callEntry(void* entry, const char* command, std::intptr_t operand1,
                       std::intptr_t operand2, std::intptr_t operand3);

}  // namespace zax::os
