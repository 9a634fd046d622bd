#include "engine/commands.h"

#include <cstring>
#include <string>

#include "common/protocol.h"
#include "engine/cpu_info.h"
#include "engine/entry_list.h"
#include "engine/job.h"

namespace untgz {

namespace {

std::string stringOperand(std::intptr_t operand) {
  const char* text = reinterpret_cast<const char*>(operand);
  return text ? std::string(text) : std::string();
}

std::int32_t copyOut(std::intptr_t operand, const std::string& text) {
  char* buffer = reinterpret_cast<char*>(operand);
  if (!buffer) return 0;
  const std::size_t length = text.size() < protocol::kMaxOutputText ? text.size() : protocol::kMaxOutputText;
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
  return 0;
}

std::int32_t withFallback(std::intptr_t operand, const std::string& text) {
  return copyOut(operand, text.empty() ? std::string("Unavailable") : text);
}

struct Operands {
  std::intptr_t first, second, third;
};

using Handler = std::int32_t (*)(const Operands&);

struct Command {
  const char* word;
  Handler run;
};

JobState& job() { return jobState(); }

// Tested in this order; the first exact match runs.
const Command commandTable[] = {
    {protocol::kExtract.narrow,
     [](const Operands& o) {
       return startExtractJob(stringOperand(o.first), stringOperand(o.second),
                              stringOperand(o.third));
     }},
    {protocol::kUncompress.narrow,
     [](const Operands& o) {
       return startUncompressJob(stringOperand(o.first), stringOperand(o.second));
     }},
    {protocol::kSetFinished.narrow,
     [](const Operands& o) {
       job().finishedValue.store(static_cast<std::int32_t>(o.first));
       return 0;
     }},
    {protocol::kGetFinished.narrow, [](const Operands&) { return job().finishedValue.load(); }},
    {protocol::kPercentage.narrow, [](const Operands&) { return getPercentage(); }},
    {protocol::kPause.narrow,
     [](const Operands&) {
       job().pauseFlag.store(1);
       return 0;
     }},
    {protocol::kResume.narrow,
     [](const Operands&) {
       job().pauseFlag.store(0);
       return 0;
     }},
    {protocol::kCancel.narrow,
     [](const Operands&) {
       job().pauseFlag.store(1);
       job().cancelFlag.store(1);
       return 0;
     }},
    {protocol::kResult.narrow, [](const Operands&) { return job().jobResult.load(); }},
    {protocol::kCompressionLevel.narrow,
     [](const Operands& o) {
       const auto level = static_cast<std::uint32_t>(o.first);
       if (level > 9) return 1;
       job().compressionLevel.store(static_cast<std::int32_t>(level));
       return 0;
     }},
    {protocol::kStatus.narrow, [](const Operands&) { return job().jobStatus.load(std::memory_order_acquire); }},
    {protocol::kCpuSpeed.narrow, [](const Operands& o) { return copyOut(o.first, measureCpuSpeed()); }},
    {protocol::kCpuVendor.narrow, [](const Operands& o) { return withFallback(o.first, getVendorString()); }},
    {protocol::kCpuBrand.narrow, [](const Operands& o) { return withFallback(o.first, getBrandString()); }},
    {protocol::kErrorText.narrow, [](const Operands& o) { return copyOut(o.first, job().errorText()); }},
    {protocol::kSetListMode.narrow,
     [](const Operands& o) {
       job().listMode.store(static_cast<std::int32_t>(o.first));
       job().dirCount.store(0);
       job().fileCount.store(0);
       return 0;
     }},
    {protocol::kFirstEntry.narrow, [](const Operands&) { return nextEntry(0); }},
    {protocol::kNextEntry.narrow, [](const Operands&) { return nextEntry(1); }},
    {protocol::kEntryIsDirectory.narrow, [](const Operands&) { return currentEntry().isDir; }},
    {protocol::kEntrySecond.narrow, [](const Operands&) { return currentEntry().second; }},
    {protocol::kEntryMinute.narrow, [](const Operands&) { return currentEntry().minute; }},
    {protocol::kEntryHour.narrow, [](const Operands&) { return currentEntry().hour; }},
    {protocol::kEntryYear.narrow, [](const Operands&) { return currentEntry().year; }},
    {protocol::kEntryMonth.narrow, [](const Operands&) { return currentEntry().month; }},
    {protocol::kEntryDay.narrow, [](const Operands&) { return currentEntry().day; }},
    {protocol::kEntryName.narrow, [](const Operands& o) { return copyOut(o.first, currentEntry().name); }},
    {protocol::kEntrySize.narrow, [](const Operands&) { return saturate32(currentEntry().size); }},
    {protocol::kDeleteEntries.narrow, [](const Operands&) { return deleteEntryList(); }},
    {protocol::kDirectoryCount.narrow, [](const Operands&) { return job().dirCount.load(); }},
    {protocol::kFileCount.narrow, [](const Operands&) { return job().fileCount.load(); }},
    {protocol::kFailedCount.narrow, [](const Operands&) { return saturate32(job().failures.count()); }},
    {protocol::kFailure.narrow,
     [](const Operands& o) {
       // Operand 3 is the index; the name goes to operand 1 and the reason's text to
       // operand 2. Answers the reason's number, or 0 when no failure is kept there.
       std::string name;
       MemberFailure reason;
       if (o.third < 0 || !job().failures.at(static_cast<std::size_t>(o.third), name, reason)) return 0;
       copyOut(o.first, name);
       copyOut(o.second, memberFailureText(reason));
       return static_cast<std::int32_t>(reason);
     }},
};

}  // namespace

std::int32_t dispatchCommand(const char* command, std::intptr_t operand1, std::intptr_t operand2,
                             std::intptr_t operand3) {
  if (!command) return 0;
  const Operands operands{operand1, operand2, operand3};
  for (const Command& entry : commandTable) {
    if (std::strcmp(command, entry.word) == 0) return entry.run(operands);
  }
  return 0;
}

}  // namespace untgz
