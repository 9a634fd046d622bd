// Destination folders: the check an extraction job's destination must pass before any
// archive byte is read, and the creation of the folders that members land in.
//
// Paths are Windows paths in one of two forms, a drive path ("c:\data\out") or a UNC path
// ("\\server\share\out"), with backslash separators. Every routine answers with a path
// code; pathErrorText gives the message a host shows for it. The routines that look whether
// a folder takes a new file ask `hooks` first (a job passes its engine's).
#pragma once

#include <string>

#include "engine/tar/test_hooks.h"

namespace untgz {

// Path codes. The numbers and their texts are part of the engine's protocol: a refused
// destination ends the job with 40 + code and the text in the job's error text.
enum PathCode : int {
  kPathOk = 0,                  // the folder exists (or was made) and takes a new file
  kPathEmpty = 1,               // nothing given
  kPathNotDriveOrUnc = 2,       // neither "x:..." nor "\\server\..."
  kPathIsFile = 3,              // drive path naming an existing file
  kPathNotCreated = 4,          // drive path where nothing exists after the attempts
  kPathUncIsFile = 5,           // UNC path naming an existing file
  kPathUncNotCreated = 6,       // UNC path where nothing exists after the attempts
  kPathTooShort = 7,            // one character only
  kPathManyColons = 8,          // ":" more than once
  kPathHasQuestionMark = 9,     // "?"
  kPathHasStar = 10,            // "*"
  kPathHasLess = 11,            // "<"
  kPathHasGreater = 12,         // ">"
  kPathHasSlash = 13,           // "/"
  kPathHasQuote = 14,           // double quote
  kPathReadOnly = 15,           // existing folder that refuses a new file
  kPathHasBar = 16,             // "|"
};

// Checks a destination folder, creating every missing folder of it. Answers a path code
// 0 to 16. Folders made on the way stay even when the final check fails.
int validateDestination(const std::string& path, const TestHooks& hooks = kNoTestHooks);

// Creates root + "\" + relativePath folder by folder ("/" taken as a backslash), without
// the character test of validateDestination. Answers a path code (0 to 7 or 15).
int createDirectoryPath(const std::string& root, const std::string& relativePath,
                        const TestHooks& hooks = kNoTestHooks);
// The same with no root: the path is taken alone.
int createDirectoryPath(const std::string& path, const TestHooks& hooks = kNoTestHooks);

// Which forbidden character a destination holds, first hit deciding in this order:
// ":" more than once (1), "/" (2), "*" (3), "?" (4), "<" (5), ">" (6), double quote (7),
// "|" (8); 0 when it holds none.
int findInvalidCharacter(const std::string& path);

// True for a drive or UNC path naming an existing folder (isExistingDirectory) or an
// existing file (isExistingFile). Paths of any other form are never found.
bool isExistingDirectory(const std::string& path);
bool isExistingFile(const std::string& path);

// 1 for an existing folder in which no file can be created, 0 for a writable one, -1 for
// anything that is not an existing folder in drive or UNC form.
int isReadOnlyDirectory(const std::string& path, const TestHooks& hooks = kNoTestHooks);

// The message of a path code; a code outside 0..16 gets the "unexpected" message.
const char* pathErrorText(int code);

// The destination gate of an extraction job: outputRoot receives the destination as
// given, then the destination is checked and created. Answers 0, or 40 + the path code
// of a refused destination with that code's message put in errorText (which is left
// alone on success).
int prepareDestination(const std::string& destination, std::string& outputRoot,
                       std::string& errorText, const TestHooks& hooks = kNoTestHooks);

}  // namespace untgz
