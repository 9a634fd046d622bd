#include "engine/commands.h"

#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

#include "common/protocol.h"
#include "common/utf8.h"
#include "engine/engine.h"
#include "engine/platform/platform.h"

namespace untgz {

namespace {

// Which code page a word speaks. Each word has its own: nothing one caller of the
// process asks for changes what another receives.
enum class Text { ansi, utf8 };

// A text operand as the engine holds its texts (UTF-8 on Windows, bytes natively), from
// the code page of the word. A null address is an empty text. Bytes that are not UTF-8 in
// a UTF-8 word are read in the ANSI code page, as member names are, rather than lost.
std::string textOperand(Text form, std::intptr_t operand) {
  const char* text = reinterpret_cast<const char*>(operand);
  if (!text) return std::string();
  std::string bytes(text);
  if (form == Text::utf8 && zax::isValidUtf8(bytes)) return bytes;
  return platform::utf8FromAnsi(bytes);
}

// The ANSI words: writes an engine text into the caller's buffer in the ANSI code page, at
// most kMaxOutputText characters and bytes (the buffer's guaranteed size, kHostBufferSize
// with the NUL), never a character cut in half.
std::int32_t copyOut(std::intptr_t operand, std::string_view view) {
  char* buffer = reinterpret_cast<char*>(operand);
  if (!buffer) return 0;
  const std::string_view start = view.substr(0, zax::utf8PrefixLength(view, protocol::kMaxOutputText));
  const std::string text = platform::ansiFromUtf8(std::string(start), protocol::kMaxOutputText);
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  return 0;
}

// The UTF-8 words: at most `size` bytes into the buffer (a start of the text that ends
// between two characters, and its NUL); answers the size the whole text needs.
std::int32_t copyOutUtf8(std::intptr_t operand, std::intptr_t size, std::string_view view) {
  const std::string_view text = view.substr(0, zax::utf8PrefixLengthUtf16(view, protocol::kMaxWholeText));
  char* buffer = reinterpret_cast<char*>(operand);
  if (buffer && size > 0) {
    const std::size_t length =
        zax::utf8PrefixLength(text, std::string_view::npos, static_cast<std::size_t>(size) - 1);
    if (length != 0) std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
  }
  return saturate32(static_cast<std::int64_t>(text.size()) + 1);
}

// operand is the buffer; size, its size, counts for the UTF-8 words only.
std::int32_t copyOut(Text form, std::intptr_t operand, std::intptr_t size, std::string_view view) {
  return form == Text::utf8 ? copyOutUtf8(operand, size, view) : copyOut(operand, view);
}

std::string_view withFallback(const std::string& text) {
  return text.empty() ? std::string_view("Unavailable") : std::string_view(text);
}

// One value of the current entry, read in place.
template <typename Value>
Value current(Engine& engine, Value EntryRecord::*field) {
  return engine.entries().readCurrent([field](const EntryRecord& entry) { return entry.*field; });
}

struct Operands {
  std::intptr_t first, second, third;
};

// The words that have an ANSI and a UTF-8 form.
std::int32_t extract(Engine& e, const Operands& o, Text form) {
  return e.startExtractJob(textOperand(form, o.first).c_str(), textOperand(form, o.second).c_str(),
                           textOperand(form, o.third).c_str());
}

std::int32_t uncompress(Engine& e, const Operands& o, Text form) {
  return e.startUncompressJob(textOperand(form, o.first).c_str(), textOperand(form, o.second).c_str());
}

std::int32_t errorText(Engine& e, const Operands& o, Text form) {
  return e.job().readErrorText([&](const std::string& text) { return copyOut(form, o.first, o.second, text); });
}

std::int32_t entryName(Engine& e, const Operands& o, Text form) {
  return e.entries().readCurrent(
      [&](const EntryRecord& entry) { return copyOut(form, o.first, o.second, entry.name); });
}

// "tarinforecordutf8": loads an entry as "tarinfo", "tarinfo2" (or none: the current one)
// and hands out all of it at once: one command per entry instead of a dozen.
std::int32_t entryRecord(Engine& e, const Operands& o) {
  if (o.third == protocol::kFirstRecord || o.third == protocol::kNextRecord) {
    if (e.entries().next(static_cast<std::int32_t>(o.third)) == 0) return protocol::kNoEntry;
  } else if (o.third != protocol::kCurrentRecord) {
    return protocol::kNoEntry;
  }
  const std::int32_t files = e.job().fileCount.load();
  const std::int32_t directories = e.job().dirCount.load();
  return e.entries().readCurrent([&](const EntryRecord& entry) {
    const std::string_view name =
        entry.name.substr(0, zax::utf8PrefixLengthUtf16(entry.name, protocol::kMaxWholeText));
    const std::size_t needed = sizeof(protocol::EntryRecordHeader) + name.size() + 1;
    char* buffer = reinterpret_cast<char*>(o.first);
    if (buffer != nullptr && o.second > 0 && needed <= static_cast<std::size_t>(o.second)) {
      const auto whole = static_cast<std::uint64_t>(entry.size);
      const protocol::EntryRecordHeader header{
          entry.isDir,  entry.year,  entry.month,
          entry.day,    entry.hour,  entry.minute,
          entry.second, saturate32(entry.size), static_cast<std::uint32_t>(whole >> 32),
          static_cast<std::uint32_t>(whole & 0xFFFFFFFFu), files, directories};
      std::memcpy(buffer, &header, sizeof header);
      if (!name.empty()) std::memcpy(buffer + sizeof header, name.data(), name.size());
      buffer[sizeof header + name.size()] = '\0';
    }
    return saturate32(static_cast<std::int64_t>(needed));
  });
}

std::int32_t cpuSpeed(Engine& e, const Operands& o, Text form) {
  return copyOut(form, o.first, o.second, e.cpu().speed());
}
std::int32_t cpuVendor(Engine& e, const Operands& o, Text form) {
  return copyOut(form, o.first, o.second, withFallback(e.cpu().vendor()));
}
std::int32_t cpuBrand(Engine& e, const Operands& o, Text form) {
  return copyOut(form, o.first, o.second, withFallback(e.cpu().brand()));
}

using Handler = std::int32_t (*)(Engine&, const Operands&);

struct Command {
  const char* word;
  Handler run;
};

// Tested in this order; the first exact match runs.
const Command kCommandTable[] = {
    {protocol::kExtract.narrow, [](Engine& e, const Operands& o) { return extract(e, o, Text::ansi); }},
    {protocol::kUncompress.narrow,
     [](Engine& e, const Operands& o) { return uncompress(e, o, Text::ansi); }},
    {protocol::kSetFinished.narrow,
     [](Engine& e, const Operands& o) {
       e.job().finishedValue.store(static_cast<std::int32_t>(o.first));
       return 0;
     }},
    {protocol::kGetFinished.narrow,
     [](Engine& e, const Operands&) { return e.job().finishedValue.load(); }},
    {protocol::kPercentage.narrow, [](Engine& e, const Operands&) { return percentage(e.job()); }},
    {protocol::kPause.narrow,
     [](Engine& e, const Operands&) {
       e.job().pauseFlag.store(1);
       return 0;
     }},
    {protocol::kResume.narrow,
     [](Engine& e, const Operands&) {
       e.job().pauseFlag.store(0);
       return 0;
     }},
    {protocol::kCancel.narrow,
     [](Engine& e, const Operands&) {
       e.job().pauseFlag.store(1);
       e.job().cancelFlag.store(1);
       return 0;
     }},
    {protocol::kResult.narrow, [](Engine& e, const Operands&) { return e.job().jobResult.load(); }},
    {protocol::kCompressionLevel.narrow,
     [](Engine& e, const Operands& o) {
       const auto level = static_cast<std::uint32_t>(o.first);
       if (level > 9) return 1;
       e.job().compressionLevel.store(static_cast<std::int32_t>(level));
       return 0;
     }},
    {protocol::kStatus.narrow, [](Engine& e, const Operands&) { return e.status(); }},
    {protocol::kJobEndSignal.narrow,
     [](Engine& e, const Operands& o) {
       return e.jobEndSignal(reinterpret_cast<std::intptr_t*>(o.first));
     }},
    {protocol::kCpuSpeed.narrow,
     [](Engine& e, const Operands& o) { return cpuSpeed(e, o, Text::ansi); }},
    {protocol::kCpuVendor.narrow,
     [](Engine& e, const Operands& o) { return cpuVendor(e, o, Text::ansi); }},
    {protocol::kCpuBrand.narrow,
     [](Engine& e, const Operands& o) { return cpuBrand(e, o, Text::ansi); }},
    {protocol::kErrorText.narrow,
     [](Engine& e, const Operands& o) { return errorText(e, o, Text::ansi); }},
    {protocol::kSetListMode.narrow,
     [](Engine& e, const Operands& o) {
       e.job().listMode.store(static_cast<std::int32_t>(o.first));
       e.job().dirCount.store(0);
       e.job().fileCount.store(0);
       return 0;
     }},
    {protocol::kFirstEntry.narrow, [](Engine& e, const Operands&) { return e.entries().next(0); }},
    {protocol::kNextEntry.narrow, [](Engine& e, const Operands&) { return e.entries().next(1); }},
    {protocol::kEntryIsDirectory.narrow,
     [](Engine& e, const Operands&) { return current(e, &EntryRecord::isDir); }},
    {protocol::kEntrySecond.narrow,
     [](Engine& e, const Operands&) { return current(e, &EntryRecord::second); }},
    {protocol::kEntryMinute.narrow,
     [](Engine& e, const Operands&) { return current(e, &EntryRecord::minute); }},
    {protocol::kEntryHour.narrow,
     [](Engine& e, const Operands&) { return current(e, &EntryRecord::hour); }},
    {protocol::kEntryYear.narrow,
     [](Engine& e, const Operands&) { return current(e, &EntryRecord::year); }},
    {protocol::kEntryMonth.narrow,
     [](Engine& e, const Operands&) { return current(e, &EntryRecord::month); }},
    {protocol::kEntryDay.narrow,
     [](Engine& e, const Operands&) { return current(e, &EntryRecord::day); }},
    {protocol::kEntryName.narrow,
     [](Engine& e, const Operands& o) { return entryName(e, o, Text::ansi); }},
    {protocol::kEntrySize.narrow,
     [](Engine& e, const Operands&) { return saturate32(current(e, &EntryRecord::size)); }},
    {protocol::kEntrySizeHigh.narrow,
     [](Engine& e, const Operands&) {
       const auto size = static_cast<std::uint64_t>(current(e, &EntryRecord::size));
       return static_cast<std::int32_t>(size >> 32);
     }},
    {protocol::kEntrySizeLow.narrow,
     [](Engine& e, const Operands&) {
       const auto size = static_cast<std::uint64_t>(current(e, &EntryRecord::size));
       return static_cast<std::int32_t>(static_cast<std::uint32_t>(size & 0xFFFFFFFFu));
     }},
    {protocol::kDeleteEntries.narrow,
     [](Engine& e, const Operands&) {
       e.entries().clear();
       return 0;
     }},
    {protocol::kEntryRecordUtf8.narrow, [](Engine& e, const Operands& o) { return entryRecord(e, o); }},
    {protocol::kCutNames.narrow,
     [](Engine& e, const Operands&) { return saturate32(e.entries().cutNames()); }},
    {protocol::kDirectoryCount.narrow,
     [](Engine& e, const Operands&) { return e.job().dirCount.load(); }},
    {protocol::kFileCount.narrow,
     [](Engine& e, const Operands&) { return e.job().fileCount.load(); }},
    {protocol::kFailedCount.narrow,
     [](Engine& e, const Operands&) { return saturate32(e.job().failures.count()); }},
    {protocol::kFailure.narrow,
     [](Engine& e, const Operands& o) {
       // Operand 3 is the index; the name goes to operand 1 and the reason's text to
       // operand 2. Answers the reason's number, or 0 when no failure is kept there.
       std::int32_t number = 0;
       if (o.third < 0) return number;
       e.job().failures.read(static_cast<std::size_t>(o.third),
                             [&](const std::string& name, MemberFailure reason,
                                 const std::string& detail) {
                               copyOut(o.first, name);
                               copyOut(o.second, memberFailureText(reason, detail));
                               number = static_cast<std::int32_t>(reason);
                             });
       return number;
     }},
    {protocol::kExtractUtf8.narrow, [](Engine& e, const Operands& o) { return extract(e, o, Text::utf8); }},
    {protocol::kUncompressUtf8.narrow,
     [](Engine& e, const Operands& o) { return uncompress(e, o, Text::utf8); }},
    {protocol::kErrorTextUtf8.narrow,
     [](Engine& e, const Operands& o) { return errorText(e, o, Text::utf8); }},
    {protocol::kEntryNameUtf8.narrow,
     [](Engine& e, const Operands& o) { return entryName(e, o, Text::utf8); }},
    {protocol::kFailureNameUtf8.narrow,
     [](Engine& e, const Operands& o) {
       std::int32_t needed = 0;
       if (o.third >= 0) {
         e.job().failures.read(static_cast<std::size_t>(o.third),
                               [&](const std::string& name, MemberFailure, const std::string&) {
                                 needed = copyOutUtf8(o.first, o.second, name);
                               });
       }
       return needed;
     }},
    {protocol::kFailureReasonUtf8.narrow,
     [](Engine& e, const Operands& o) {
       std::int32_t needed = 0;
       if (o.third >= 0) {
         e.job().failures.read(static_cast<std::size_t>(o.third),
                               [&](const std::string&, MemberFailure reason, const std::string& detail) {
                                 needed = copyOutUtf8(o.first, o.second, memberFailureText(reason, detail));
                               });
       }
       return needed;
     }},
    {protocol::kCpuSpeedUtf8.narrow,
     [](Engine& e, const Operands& o) { return cpuSpeed(e, o, Text::utf8); }},
    {protocol::kCpuVendorUtf8.narrow,
     [](Engine& e, const Operands& o) { return cpuVendor(e, o, Text::utf8); }},
    {protocol::kCpuBrandUtf8.narrow,
     [](Engine& e, const Operands& o) { return cpuBrand(e, o, Text::utf8); }},
};

// The table by word, made once: the first row of a word is the one that runs, as in a walk
// of the table in order. A host calls a dozen words per listed entry, and walking forty
// rows with strcmp for each was a tenth of a large listing's time.
const std::unordered_map<std::string_view, Handler>& commandsByWord() {
  static const std::unordered_map<std::string_view, Handler> byWord = [] {
    std::unordered_map<std::string_view, Handler> map;
    for (const Command& entry : kCommandTable) map.emplace(entry.word, entry.run);
    return map;
  }();
  return byWord;
}

}  // namespace

std::int32_t dispatchCommand(Engine& engine, const char* command, std::intptr_t operand1,
                             std::intptr_t operand2, std::intptr_t operand3) {
  if (!command) return 0;
  const auto& byWord = commandsByWord();
  const auto found = byWord.find(std::string_view(command));
  if (found == byWord.end()) return 0;
  return found->second(engine, Operands{operand1, operand2, operand3});
}

std::int32_t dispatchCommand(const char* command, std::intptr_t operand1, std::intptr_t operand2,
                             std::intptr_t operand3) {
  return dispatchCommand(processEngine(), command, operand1, operand2, operand3);
}

}  // namespace untgz
