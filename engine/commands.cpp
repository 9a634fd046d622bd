#include "commands.h"

#include <cstring>
#include <string>

#include "cpu_info.h"
#include "entry_list.h"
#include "job.h"

namespace untgz {

namespace {

std::string stringOperand(std::intptr_t operand) {
  const char* text = reinterpret_cast<const char*>(operand);
  return text ? std::string(text) : std::string();
}

std::int32_t copyOut(std::intptr_t operand, const std::string& text) {
  char* buffer = reinterpret_cast<char*>(operand);
  if (!buffer) return 0;
  const std::size_t length = text.size() < maxOutputText ? text.size() : maxOutputText;
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
    {"zaxuntar",
     [](const Operands& o) {
       return startExtractJob(stringOperand(o.first), stringOperand(o.second),
                              stringOperand(o.third));
     }},
    {"uncompress",
     [](const Operands& o) {
       return startUncompressJob(stringOperand(o.first), stringOperand(o.second));
     }},
    {"setfinished",
     [](const Operands& o) {
       job().finishedValue.store(static_cast<std::int32_t>(o.first));
       return 0;
     }},
    {"getfinished", [](const Operands&) { return job().finishedValue.load(); }},
    {"getporcentagem", [](const Operands&) { return getPercentage(); }},
    {"pause",
     [](const Operands&) {
       job().pauseFlag.store(1);
       return 0;
     }},
    {"resume",
     [](const Operands&) {
       job().pauseFlag.store(0);
       return 0;
     }},
    {"cancel",
     [](const Operands&) {
       job().pauseFlag.store(1);
       job().cancelFlag.store(1);
       return 0;
     }},
    {"getintret", [](const Operands&) { return job().jobResult.load(); }},
    {"compressionlevel",
     [](const Operands& o) {
       const auto level = static_cast<std::uint32_t>(o.first);
       if (level > 9) return 1;
       job().compressionLevel.store(static_cast<std::int32_t>(level));
       return 0;
     }},
    {"status", [](const Operands&) { return job().jobStatus.load(std::memory_order_acquire); }},
    {"cpuspeed", [](const Operands& o) { return copyOut(o.first, measureCpuSpeed()); }},
    {"getcpuname", [](const Operands& o) { return withFallback(o.first, getVendorString()); }},
    {"getbrandstring", [](const Operands& o) { return withFallback(o.first, getBrandString()); }},
    {"geterrorstring", [](const Operands& o) { return copyOut(o.first, job().errorText()); }},
    {"setflaglist",
     [](const Operands& o) {
       job().listMode.store(static_cast<std::int32_t>(o.first));
       job().dirCount.store(0);
       job().fileCount.store(0);
       return 0;
     }},
    {"tarinfo", [](const Operands&) { return nextEntry(0); }},
    {"tarinfo2", [](const Operands&) { return nextEntry(1); }},
    {"tarinfoisdir", [](const Operands&) { return currentEntry().isDir; }},
    {"tarinfosecond", [](const Operands&) { return currentEntry().second; }},
    {"tarinfominute", [](const Operands&) { return currentEntry().minute; }},
    {"tarinfohour", [](const Operands&) { return currentEntry().hour; }},
    {"tarinfoyear", [](const Operands&) { return currentEntry().year; }},
    {"tarinfomonth", [](const Operands&) { return currentEntry().month; }},
    {"tarinfoday", [](const Operands&) { return currentEntry().day; }},
    {"tarinfofilename", [](const Operands& o) { return copyOut(o.first, currentEntry().name); }},
    {"tarinfosize", [](const Operands&) { return saturate32(currentEntry().size); }},
    {"tarinfodelete", [](const Operands&) { return deleteEntryList(); }},
    {"getnumdir", [](const Operands&) { return job().dirCount.load(); }},
    {"getnumfiles", [](const Operands&) { return job().fileCount.load(); }},
    {"getnumfailed", [](const Operands&) { return saturate32(job().failures.count()); }},
    {"getfailure",
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
