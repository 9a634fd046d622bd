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
inline constexpr Word kErrorText{"geterrorstring"};
inline constexpr Word kSetFinished{"setfinished"};
inline constexpr Word kGetFinished{"getfinished"};
inline constexpr Word kCompressionLevel{"compressionlevel"};
// The end of the running job without polling: operand 1 is the address of a pointer-sized
// slot that receives a waitable of the caller's own, signalled once the job's thread has
// ended, when "status" answers 0 (Windows: a handle to that thread, closed with
// CloseHandle; natively: a descriptor that turns readable, closed with close()). Answers 1
// when one was written, 0 when no job's thread is left to wait for (one "status" has seen
// end) or none could be made; the caller polls then.
inline constexpr Word kJobEndSignal{"getjobend"};
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
inline constexpr Word kEntrySize{"tarinfosize"};  // 2147483647 for 2 GiB and more
// The current entry's whole size in two halves: bits 32 to 63, and bits 0 to 31 as the
// bits of the 32-bit result. A host asks for them when "tarinfosize" saturated.
inline constexpr Word kEntrySizeHigh{"tarinfosizehigh"};
inline constexpr Word kEntrySizeLow{"tarinfosizelow"};
inline constexpr Word kDeleteEntries{"tarinfodelete"};
// After a listing: how many names the entry list kept cut to 255 characters because what
// long names take together passed its budget.
inline constexpr Word kCutNames{"tarinfonamescut"};
// One entry whole in one command, for hosts that list many: operand 3 says which (0 the
// first, as "tarinfo"; 1 the next, as "tarinfo2"; 2 the current again), operand 1 is a
// buffer and operand 2 its size in bytes. The entry is loaded as those words load it, and
// the buffer receives an EntryRecordHeader and then the name in UTF-8 and its NUL, when
// they fit. Answers the size they need (a caller with a smaller buffer asks again for the
// current entry), or kNoEntry when no entry was loaded. An engine without the word answers
// 0.
inline constexpr Word kEntryRecordUtf8{"tarinforecordutf8"};
inline constexpr std::int32_t kNoEntry = -1;
inline constexpr std::int32_t kFirstRecord = 0;
inline constexpr std::int32_t kNextRecord = 1;
inline constexpr std::int32_t kCurrentRecord = 2;
// What the field words answer for the entry, in the same order as the event's parameters.
struct EntryRecordHeader {
  std::int32_t isDirectory, year, month, day, hour, minute, second;
  std::int32_t size;                // as "tarinfosize"
  std::uint32_t sizeHigh, sizeLow;  // as "tarinfosizehigh" and "tarinfosizelow"
  std::int32_t files, directories;  // as "getnumfiles" and "getnumdir"
};
inline constexpr Word kDirectoryCount{"getnumdir"};
inline constexpr Word kFileCount{"getnumfiles"};  // after an extraction: the members selected

// The processor.
inline constexpr Word kCpuSpeed{"cpuspeed"};
inline constexpr Word kCpuVendor{"getcpuname"};
inline constexpr Word kCpuBrand{"getbrandstring"};

// The UTF-8 forms of the words that take or give texts. The words above speak the ANSI code
// page and hand out at most kMaxOutputText characters into a buffer of kHostBufferSize
// bytes, whoever else uses the engine in the process; these speak UTF-8 with every caller:
// - the job words take their text operands in UTF-8 (bytes that are not UTF-8 are read in
//   the ANSI code page, as member names are);
// - the text words take the output buffer in operand 1 and its size in bytes in operand 2,
//   write at most that many bytes (a start of the text that ends between two characters,
//   and its NUL), and answer the size the whole text needs with its NUL, so that a caller
//   can ask again with a buffer that large. A text is whole up to kMaxWholeText UTF-16
//   units. The failure words take the index in operand 3 and answer 0 past the last one.
// An engine without them answers 0.
inline constexpr Word kExtractUtf8{"zaxuntarutf8"};
inline constexpr Word kUncompressUtf8{"uncompressutf8"};
inline constexpr Word kErrorTextUtf8{"geterrorstringutf8"};
inline constexpr Word kEntryNameUtf8{"tarinfofilenameutf8"};
inline constexpr Word kFailureNameUtf8{"getfailurenameutf8"};
inline constexpr Word kFailureReasonUtf8{"getfailurereasonutf8"};
inline constexpr Word kCpuSpeedUtf8{"cpuspeedutf8"};
inline constexpr Word kCpuVendorUtf8{"getcpunameutf8"};
inline constexpr Word kCpuBrandUtf8{"getbrandstringutf8"};

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

// Texts handed out by the ANSI words are cut to this many characters, never inside one, and
// take at most this many bytes, so the host's buffer holds kHostBufferSize with the NUL.
inline constexpr std::size_t kMaxOutputText = 255;
inline constexpr std::size_t kHostBufferSize = kMaxOutputText + 1;
// The UTF-8 forms hand out texts whole up to the longest path the system takes, in UTF-16
// units.
inline constexpr std::size_t kMaxWholeText = 32767;
// The control hands the engine buffers of this many blanks, room to spare.
inline constexpr std::size_t kControlBufferBlanks = 300;

}  // namespace untgz::protocol
