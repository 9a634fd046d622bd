#include "engine/tar/destination.h"

#include <cctype>

#include "common/protocol.h"
#include "engine/platform/platform.h"

namespace untgz {

namespace {

const char* const kPathTexts[] = {
    "No error",
    "Path is empty",
    "Path has invalid characters",
    "The path is a file , thus it cannot be created in the destination as a path",
    "Unable to create the destination directory , possible drive invalid or read only ",
    "The UNC path is a file , thus it cannot be created in the destination as a path",
    // One message over two lines.
    ("Unable to create the destination directory , possible UNC path invalid or "
     "disconnected or read only "),
    "You need at least two characters to a path like this a: ",
    "Too many characters : on the path ",
    "Invalid character ? on the path ",
    "Invalid character * on the path ",
    "Invalid character < on the path ",
    "Invalid character > on the path ",
    "Invalid character / on the path ",
    "Invalid character \" on the path ",
    "Path is read only ",
    "Invalid character | on the path ",
};
const char* const kUnexpectedText =
    "Unexpected return value to the function to create directories";

// Path codes of the findInvalidCharacter results 1..8, in that order.
const int kInvalidCharacterCodes[] = {
    kPathManyColons, kPathHasSlash,   kPathHasStar,  kPathHasQuestionMark,
    kPathHasLess,    kPathHasGreater, kPathHasQuote, kPathHasBar,
};

bool isUncForm(const std::string& path) {
  return path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
}

// A letter a to z in either case, then ":".
bool isDriveForm(const std::string& path) {
  if (path.size() < 2 || path[1] != ':') return false;
  const int first = std::tolower(static_cast<unsigned char>(path[0]));
  return first >= 'a' && first <= 'z';
}

// Calls createDirectory on every prefix of the path that ends in a backslash at index
// `from` or later, then on the whole path. Failures are expected (the drive root, the
// server, folders that already exist) and say nothing: only the final state counts.
void createEachLevel(const std::string& path, std::size_t from) {
  for (std::size_t i = from; i < path.size(); ++i) {
    if (path[i] == '\\') platform::createDirectory(path.substr(0, i + 1));
  }
  platform::createDirectory(path);
}

// The part shared by validateDestination and createDirectoryPath once the path is known
// to have at least two characters: create the levels, then look at what is there.
int createAndCheck(std::string path, const TestHooks& hooks) {
  // "c:\out\" is taken as "c:\out", while the drive root "c:\" keeps its backslash.
  if (path.back() == '\\' && path.size() != 3) path.pop_back();

  const bool unc = isUncForm(path);
  if (!unc && !isDriveForm(path)) return kPathNotDriveOrUnc;
  // A UNC path's first two backslashes open the server name and name no folder.
  createEachLevel(path, unc ? 2 : 0);

  if (isExistingDirectory(path)) return isReadOnlyDirectory(path, hooks) != 0 ? kPathReadOnly : kPathOk;
  if (unc) return isExistingFile(path) ? kPathUncIsFile : kPathUncNotCreated;
  return isExistingFile(path) ? kPathIsFile : kPathNotCreated;
}

// What is at a drive or UNC path; paths of any other form are taken as missing.
platform::PathKind kindOf(const std::string& path) {
  if (!isUncForm(path) && !isDriveForm(path)) return platform::PathKind::missing;
  return platform::pathKind(path);
}

}  // namespace

int findInvalidCharacter(const std::string& path) {
  std::size_t colons = 0;
  for (char c : path) {
    if (c == ':') ++colons;
  }
  if (colons > 1) return 1;
  static const char kForbidden[] = "/*?<>\"|";
  for (int i = 0; kForbidden[i] != '\0'; ++i) {
    if (path.find(kForbidden[i]) != std::string::npos) return i + 2;
  }
  return 0;
}

int validateDestination(const std::string& path, const TestHooks& hooks) {
  if (path.empty()) return kPathEmpty;
  if (path.size() == 1) return kPathTooShort;
  const int invalid = findInvalidCharacter(path);
  if (invalid != 0) return kInvalidCharacterCodes[invalid - 1];
  return createAndCheck(path, hooks);
}

int createDirectoryPath(const std::string& root, const std::string& relativePath,
                        const TestHooks& hooks) {
  std::string path = root;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  if (path.empty() || path.back() != '\\') path += '\\';
  path += relativePath;
  return createDirectoryPath(path, hooks);
}

int createDirectoryPath(const std::string& path, const TestHooks& hooks) {
  std::string work = path;
  for (char& c : work) {
    if (c == '/') c = '\\';
  }
  if (work.empty()) return kPathEmpty;
  if (work.size() == 1) return kPathTooShort;
  return createAndCheck(work, hooks);
}

bool isExistingDirectory(const std::string& path) {
  return kindOf(path) == platform::PathKind::directory;
}

bool isExistingFile(const std::string& path) {
  return kindOf(path) == platform::PathKind::file;
}

int isReadOnlyDirectory(const std::string& path, const TestHooks& hooks) {
  if (!isExistingDirectory(path)) return -1;
  std::string folder = path;
  while (!folder.empty() && folder.back() == ' ') folder.pop_back();
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  const bool writable = hooks.probeWritableFolder ? hooks.probeWritableFolder(folder)
                                                 : platform::probeWritableFolder(folder);
  return writable ? 0 : 1;
}

const char* pathErrorText(int code) {
  const int count = static_cast<int>(sizeof kPathTexts / sizeof kPathTexts[0]);
  return code >= 0 && code < count ? kPathTexts[code] : kUnexpectedText;
}

int prepareDestination(const std::string& destination, std::string& outputRoot,
                       std::string& errorText, const TestHooks& hooks) {
  outputRoot = destination;
  const int code = validateDestination(destination, hooks);
  if (code == kPathOk) return 0;
  errorText = pathErrorText(code);
  return protocol::kResultDestinationBase + code;
}

}  // namespace untgz
