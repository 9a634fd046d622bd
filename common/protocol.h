// The engine's command protocol, the one contract between the engine, its hosts, the
// control and the tests: the command words, the job results and the sizes of the texts
// that cross it. Each is defined here once; the engine answers these words and the others
// send them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace untgz::protocol {

// A command word in both of the forms its users hold it: narrow for the engine's entry,
// wide for the control, which speaks wide strings to its engine host.
template <std::size_t N>
struct Word {
  char narrow[N];
  wchar_t wide[N];
  constexpr explicit Word(const char (&text)[N]) : narrow{}, wide{} {
    for (std::size_t i = 0; i < N; ++i) {
      narrow[i] = text[i];
      wide[i] = static_cast<wchar_t>(text[i]);
    }
  }
};

// Jobs.
inline constexpr Word kExtract{"zaxuntar"};      // operands: archive, destination, selection
inline constexpr Word kUncompress{"uncompress"};  // operands: archive, destination
inline constexpr Word kStatus{"status"};          // 1 while a job runs, else 0
inline constexpr Word kResult{"getintret"};       // the last job's result (below)
inline constexpr Word kPercentage{"getporcentagem"};
inline constexpr Word kPause{"pause"};
inline constexpr Word kResume{"resume"};
inline constexpr Word kCancel{"cancel"};
inline constexpr Word kSetListMode{"setflaglist"};  // operand 1: 1 lists, 0 extracts
// The code page of the texts that cross the entry: operand 1 nonzero takes the text operands
// of the calls that follow ("zaxuntar", "uncompress") and writes their text results (names,
// reasons, messages) in UTF-8, into buffers of kUtf8HostBufferSize bytes; 0 goes back to the
// ANSI code page, which an engine speaks until told otherwise. Answers 1, so that a caller
// can tell it from an engine that does not know the word (0).
inline constexpr Word kSetUtf8Text{"setflagutf8"};
inline constexpr Word kErrorText{"geterrorstring"};
inline constexpr Word kSetFinished{"setfinished"};
inline constexpr Word kGetFinished{"getfinished"};
inline constexpr Word kCompressionLevel{"compressionlevel"};
// Members an extraction left out: the count, and one by index (operand 1 and 2 output
// buffers for the name and the reason, operand 3 the index; answers the reason's number).
inline constexpr Word kFailedCount{"getnumfailed"};
inline constexpr Word kFailure{"getfailure"};

// The listing's entries.
inline constexpr Word kFirstEntry{"tarinfo"};
inline constexpr Word kNextEntry{"tarinfo2"};
inline constexpr Word kEntryIsDirectory{"tarinfoisdir"};
inline constexpr Word kEntrySecond{"tarinfosecond"};
inline constexpr Word kEntryMinute{"tarinfominute"};
inline constexpr Word kEntryHour{"tarinfohour"};
inline constexpr Word kEntryYear{"tarinfoyear"};
inline constexpr Word kEntryMonth{"tarinfomonth"};
inline constexpr Word kEntryDay{"tarinfoday"};
inline constexpr Word kEntryName{"tarinfofilename"};
inline constexpr Word kEntrySize{"tarinfosize"};
inline constexpr Word kDeleteEntries{"tarinfodelete"};
inline constexpr Word kDirectoryCount{"getnumdir"};
inline constexpr Word kFileCount{"getnumfiles"};

// The processor.
inline constexpr Word kCpuSpeed{"cpuspeed"};
inline constexpr Word kCpuVendor{"getcpuname"};
inline constexpr Word kCpuBrand{"getbrandstring"};

// Job results ("getintret").
enum Result : std::int32_t {
  kResultOk = 0,                   // ran to the end (or was cancelled) with nothing left out
  kResultNotOpened1 = 1,           // read by hosts as "not opened"; the engine gives 5
  kResultDamaged = 3,              // the compressed data is damaged or cut off
  kResultNotOpened = 5,            // the archive could not be opened, or the job not started
  kResultBadInformation = 6,       // read by hosts as bad information; never given
  kResultNotATar = 8,              // not a readable tar, or it ended inside a block
  kResultMembersNotExtracted = 9,  // members were left out; see kFailedCount
  kResultOtherKind = 10,           // another kind of data (zip, 7z, lz4, ...); "geterrorstring"
                                   // names it
  kResultMemoryLimit = 11,         // decompressing needs more memory than the limit;
                                   // "geterrorstring" says how much
  kResultDestinationBase = 40,     // 40 + path code: the destination was refused
};

// A job "status" answers while it runs.
inline constexpr std::int32_t kJobRunning = 1;

// Texts handed out by the engine are cut to this many characters, never inside one. In the
// ANSI code page they also take at most this many bytes, so the host's buffer holds
// kHostBufferSize with the NUL; in UTF-8 a character takes up to four bytes, and the buffer
// holds kUtf8HostBufferSize.
inline constexpr std::size_t kMaxOutputText = 255;
inline constexpr std::size_t kHostBufferSize = kMaxOutputText + 1;
inline constexpr std::size_t kUtf8HostBufferSize = 4 * kMaxOutputText + 1;
// The control hands the engine buffers of this many blanks, room to spare.
inline constexpr std::size_t kControlBufferBlanks = 300;

}  // namespace untgz::protocol
