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

bool utf8Text(Engine& engine) { return engine.job().utf8Text.load() != 0; }

// A text operand as the engine holds its texts (UTF-8 on Windows, bytes natively), from
// the code page the caller speaks. A null address is an empty text. Bytes that are not
// UTF-8 where UTF-8 was announced are read in the ANSI code page, as member names are,
// rather than lost.
std::string textOperand(Engine& engine, std::intptr_t operand) {
  const char* text = reinterpret_cast<const char*>(operand);
  if (!text) return std::string();
  std::string bytes(text);
  if (utf8Text(engine) && zax::isValidUtf8(bytes)) return bytes;
  return platform::utf8FromAnsi(bytes);
}

// Writes an engine text into the caller's buffer in the caller's code page: at most
// kMaxOutputText characters, never a character cut in half, and in the ANSI code page at
// most kMaxOutputText bytes (the buffer's guaranteed size).
std::int32_t copyOut(Engine& engine, std::intptr_t operand, std::string_view view) {
  char* buffer = reinterpret_cast<char*>(operand);
  if (!buffer) return 0;
  const std::string_view start = view.substr(0, zax::utf8PrefixLength(view, protocol::kMaxOutputText));
  if (utf8Text(engine)) {
    if (!start.empty()) std::memcpy(buffer, start.data(), start.size());
    buffer[start.size()] = '\0';
    return 0;
  }
  const std::string text = platform::ansiFromUtf8(std::string(start), protocol::kMaxOutputText);
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  return 0;
}

std::int32_t withFallback(Engine& engine, std::intptr_t operand, const std::string& text) {
  return copyOut(engine, operand,
                 text.empty() ? std::string_view("Unavailable") : std::string_view(text));
}

// One value of the current entry, read in place.
template <typename Value>
Value current(Engine& engine, Value EntryRecord::*field) {
  return engine.entries().readCurrent([field](const EntryRecord& entry) { return entry.*field; });
}

struct Operands {
  std::intptr_t first, second, third;
};

using Handler = std::int32_t (*)(Engine&, const Operands&);

struct Command {
  const char* word;
  Handler run;
};

// Tested in this order; the first exact match runs.
const Command kCommandTable[] = {
    {protocol::kExtract.narrow,
     [](Engine& e, const Operands& o) {
       return e.startExtractJob(textOperand(e, o.first).c_str(), textOperand(e, o.second).c_str(),
                                textOperand(e, o.third).c_str());
     }},
    {protocol::kUncompress.narrow,
     [](Engine& e, const Operands& o) {
       return e.startUncompressJob(textOperand(e, o.first).c_str(),
                                   textOperand(e, o.second).c_str());
     }},
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
    {protocol::kCpuSpeed.narrow,
     [](Engine& e, const Operands& o) { return copyOut(e, o.first, e.cpu().speed()); }},
    {protocol::kCpuVendor.narrow,
     [](Engine& e, const Operands& o) { return withFallback(e, o.first, e.cpu().vendor()); }},
    {protocol::kCpuBrand.narrow,
     [](Engine& e, const Operands& o) { return withFallback(e, o.first, e.cpu().brand()); }},
    {protocol::kErrorText.narrow,
     [](Engine& e, const Operands& o) {
       return e.job().readErrorText(
           [&](const std::string& text) { return copyOut(e, o.first, text); });
     }},
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
     [](Engine& e, const Operands& o) {
       return e.entries().readCurrent(
           [&](const EntryRecord& entry) { return copyOut(e, o.first, entry.name); });
     }},
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
                               copyOut(e, o.first, name);
                               copyOut(e, o.second, memberFailureText(reason, detail));
                               number = static_cast<std::int32_t>(reason);
                             });
       return number;
     }},
    {protocol::kSetUtf8Text.narrow,
     [](Engine& e, const Operands& o) {
       e.job().utf8Text.store(o.first != 0 ? 1 : 0);
       return 1;
     }},
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

std::int32_t Engine::dispatch(const char* command, std::intptr_t operand1, std::intptr_t operand2,
                              std::intptr_t operand3) {
  return dispatchCommand(*this, command, operand1, operand2, operand3);
}

}  // namespace untgz
