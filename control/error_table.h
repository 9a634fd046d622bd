// The control's own error numbers and their texts, as ErrorCode carries them. Hosts
// compare these texts, so they stay exactly as they are, spaces included.
#pragma once

#include <cstdint>

namespace zax {

enum ControlError : std::int32_t {
  kNoError = 0,                   // a job ended with engine result 0
  kSameInputAndOutput = 2,        // fits a failed CheckForEquality; never raised
  kInputEmpty = 3,                // TarFile is empty
  kOutputEmpty = 4,               // never raised
  kInputInvalid = 5,              // TarFile cannot be read; engine result 1 or 5
  kOutputInvalid = 6,             // fits a failed CheckOuPutFile; never raised
  kAlreadyRunning = 31,           // the engine reports a running job
  kInvalidPriority = 32,          // never raised
  kDestinationEmpty = 33,         // DestinationDir is empty
  kSelectionEmpty = 34,           // FilesSelection is empty
  kCannotCreateDestination = 35,  // never raised: the engine's own text is used instead
  kNotATarFile = 36,              // engine result 8
  kInvalidInformation = 37,       // engine result 6
  kDamagedArchive = 38,           // engine result 3: damaged or cut-off compressed data
  kMembersNotExtracted = 39,      // engine result 9; the text is followed by the count
  // Numbers 41 to 56 are the engine's destination results, which ErrorCode carries as
  // they are; these two stay clear of them.
  kOtherKindOfFile = 60,          // engine result 10; the text is followed by what it holds
  kMemoryLimit = 61,              // engine result 11; the text is followed by what it needs
  kNamesCut = 62,                 // a listing kept names cut; the text is followed by the count
  kUnexpectedError = 255,         // what any number outside the table is reported as
};

struct ErrorReport {
  std::int32_t number;  // the number ErrorCode carries
  const wchar_t* text;
};

// The report for a number: its own row, or 255 "Unexpected error" for a number that is
// not in the table.
ErrorReport lookupControlError(std::int32_t number);

}  // namespace zax
