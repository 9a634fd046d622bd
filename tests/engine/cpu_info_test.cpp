// Processor information: the speed text from a played clock, vendor and brand from played
// identification leaves, the real processor, and the three commands.
#include "engine/cpu_info.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "engine/commands.h"
#include "engine/engine.h"

namespace {

using untgz::CpuidRegisters;
using untgz::CpuSources;

// Four register values from 16 text bytes, lowest byte first, as the processor lays them out.
CpuidRegisters registersOf(const char (&text)[17]) {
  std::uint32_t words[4];
  std::memcpy(words, text, 16);
  return CpuidRegisters{words[0], words[1], words[2], words[3]};
}

// A processor that answers the leaves it is given and faults on all others.
CpuSources processorWith(std::map<std::uint32_t, CpuidRegisters> leaves) {
  CpuSources sources = untgz::systemCpuSources();
  sources.queryCpuid = [leaves](std::uint32_t leaf, CpuidRegisters& registers) {
    const auto found = leaves.find(leaf);
    registers = found == leaves.end() ? CpuidRegisters{} : found->second;
    return found == leaves.end() ? 1 : 0;
  };
  return sources;
}

const CpuidRegisters kIntelVendor{0x16, 0x756e6547 /*Genu*/, 0x6c65746e /*ntel*/, 0x49656e69 /*ineI*/};

// Leaves 0x80000002..4 that spell the 48-byte text.
std::map<std::uint32_t, CpuidRegisters> brandLeaves(const char (&text)[49]) {
  char part[3][17];
  for (int i = 0; i < 3; ++i) {
    std::memcpy(part[i], text + 16 * i, 16);
    part[i][16] = '\0';
  }
  return {{0x80000000u, {0x80000008u, 0, 0, 0}},
          {0x80000002u, registersOf(part[0])},
          {0x80000003u, registersOf(part[1])},
          {0x80000004u, registersOf(part[2])}};
}

TEST(VendorString, IsEbxEdxEcxInThatOrder) {
  EXPECT_EQ(untgz::buildVendorString(processorWith({{0, kIntelVendor}})), "GenuineIntel");
}

TEST(VendorString, NoCpuidGivesUnavailable) {
  EXPECT_EQ(untgz::buildVendorString(processorWith({})), "Unavailable");
}

TEST(BrandString, KeepsLeadingBlanksAndStopsAtTheFirstNul) {
  const char text[49] = "       Intel(R) Xeon(R) CPU  @ 2.80GHz\0\0\0\0\0\0\0\0\0\0";
  EXPECT_EQ(untgz::buildBrandString(processorWith(brandLeaves(text))),
            "       Intel(R) Xeon(R) CPU  @ 2.80GHz");
}

TEST(BrandString, FullFortyEightBytesWithoutNul) {
  const char text[49] = "0123456789abcdef0123456789ABCDEF-_-_-_-_-_-_-_-_";
  EXPECT_EQ(untgz::buildBrandString(processorWith(brandLeaves(text))), text);
}

TEST(BrandString, UnavailableWhenTheLeavesDoNotReachTheBrand) {
  const char text[49] = "Some Processor Brand Text That Is Never Reached.";
  auto leaves = brandLeaves(text);
  leaves[0] = kIntelVendor;

  auto stopsShort = leaves;
  stopsShort[0x80000000u].eax = 0x80000003u;
  EXPECT_EQ(untgz::buildBrandString(processorWith(stopsShort)), "Unavailable");
  EXPECT_EQ(untgz::buildVendorString(processorWith(stopsShort)), "GenuineIntel");

  auto lastLeafFaults = leaves;
  lastLeafFaults.erase(0x80000004u);
  EXPECT_EQ(untgz::buildBrandString(processorWith(lastLeafFaults)), "Unavailable");

  EXPECT_EQ(untgz::buildBrandString(processorWith({})), "Unavailable");
}

// A played clock: the performance counter advances `step` ticks per read at `frequency`
// ticks per second, and the time-stamp counter by `tscPerRead` per read.
struct PlayedClock {
  std::int64_t frequency = 1000;
  std::int64_t step = 1;
  std::uint64_t tscPerRead = 0;
  bool counterWorks = true;
  bool frequencyWorks = true;
  bool noTimeStampCounter = false;

  // Observations.
  std::int64_t counter = 5000;
  std::uint64_t tsc = 1;
  int priority = -1;
  std::vector<int> prioritySeenByTscReads;
  std::vector<int> prioritySets;

  CpuSources sources() {
    CpuSources s = untgz::systemCpuSources();
    s.readTimeStampCounter = [this]() -> std::uint64_t {
      if (noTimeStampCounter) return 0;
      prioritySeenByTscReads.push_back(priority);
      tsc += tscPerRead;
      return tsc;
    };
    s.readPerformanceCounter = [this](std::int64_t& ticks) {
      counter += step;
      ticks = counter;
      return counterWorks;
    };
    s.readPerformanceFrequency = [this](std::int64_t& ticks) {
      ticks = frequency;
      return frequencyWorks;
    };
    s.currentThreadPriority = [this] { return priority; };
    s.setCurrentThreadPriority = [this](int p) {
      prioritySets.push_back(p);
      priority = p;
      return true;
    };
    return s;
  }
};

TEST(CpuSpeed, CountsTicksOverOneSecondAtRaisedPriority) {
  PlayedClock clock;
  clock.frequency = 1000;
  clock.step = 1;
  // Every time-stamp read advances the count by the same amount, and the start and end
  // counts are consecutive reads around the busy wait.
  clock.tscPerRead = 2793041;
  const std::string text = untgz::produceCpuSpeedText(clock.sources());
  EXPECT_EQ(text, "2.7930 MHz");
  EXPECT_EQ(clock.prioritySets, (std::vector<int>{2, -1})) << "raised, then restored";
  ASSERT_GE(clock.prioritySeenByTscReads.size(), 3u);
  EXPECT_EQ(clock.prioritySeenByTscReads.front(), -1) << "the availability probe";
  EXPECT_EQ(clock.prioritySeenByTscReads.back(), 2) << "the end count is read before restoring";
}

TEST(CpuSpeed, FormatsFourDecimalsAndMhz) {
  struct Case {
    std::uint64_t ticks;
    const char* text;
  };
  for (const Case& c : {Case{2793041200u, "2793.0412 MHz"}, Case{0, "0.0000 MHz"},
                        Case{60, "0.0001 MHz"}, Case{123456789012345u, "123456789.0123 MHz"}}) {
    SCOPED_TRACE(c.text);
    PlayedClock clock;
    clock.frequency = 10;
    clock.step = 10;  // one read covers the whole second
    // Start and end count are the 3rd and 4th reads; put the whole count between them.
    CpuSources sources = clock.sources();
    std::uint64_t reads = 0;
    sources.readTimeStampCounter = [&reads, &c]() -> std::uint64_t {
      ++reads;
      return reads < 4 ? 1000 : 1000 + c.ticks;
    };
    EXPECT_EQ(untgz::produceCpuSpeedText(sources), c.text);
  }
}

TEST(CpuSpeed, UnavailableWithoutCountersAndPriorityUntouched) {
  struct Case {
    const char* name;
    bool noTimeStampCounter, counterWorks, frequencyWorks;
  };
  for (const Case& c : {Case{"no time-stamp counter", true, true, true},
                        Case{"no performance counter", false, false, true},
                        Case{"no counter frequency", false, true, false}}) {
    SCOPED_TRACE(c.name);
    PlayedClock clock;
    clock.noTimeStampCounter = c.noTimeStampCounter;
    clock.counterWorks = c.counterWorks;
    clock.frequencyWorks = c.frequencyWorks;
    EXPECT_EQ(untgz::produceCpuSpeedText(clock.sources()), "Unavailable \n");
    EXPECT_TRUE(clock.prioritySets.empty());
  }
}

// The real processor.

TEST(Processor, CpuidRefusesLeavesBeyondTheHighest) {
  CpuidRegisters registers;
  if (untgz::queryCpuid(0, registers) != 0) {
    // No CPUID (not x86): every leaf fails with zeroed registers.
    EXPECT_EQ(untgz::queryCpuid(0x80000000u, registers), 1);
    EXPECT_EQ(registers.eax | registers.ebx | registers.ecx | registers.edx, 0u);
    EXPECT_EQ(untgz::readTimeStampCounter(), 0u);
    return;
  }
  const std::uint32_t highest = registers.eax;
  registers = CpuidRegisters{1, 1, 1, 1};
  EXPECT_EQ(untgz::queryCpuid(highest + 1, registers), 1);
  EXPECT_EQ(registers.eax | registers.ebx | registers.ecx | registers.edx, 0u);
  EXPECT_EQ(untgz::queryCpuid(highest, registers), 0);
}

// Buffer of 300 blanks, as the host passes it, filled by a command of the engine.
std::string commandText(untgz::Engine& engine, const char* command) {
  std::vector<char> buffer(301, ' ');
  buffer.back() = '\0';
  EXPECT_EQ(untgz::dispatchCommand(engine, command, reinterpret_cast<std::intptr_t>(buffer.data())), 0);
  return buffer.data();
}

TEST(ProcessorCommands, VendorAndBrandTexts) {
  CpuidRegisters registers;
  const bool hasCpuid = untgz::queryCpuid(0, registers) == 0;
  untgz::Engine engine;
  const std::string vendor = commandText(engine, "getcpuname");
  if (hasCpuid) {
    EXPECT_EQ(vendor.size(), 12u) << vendor;
  } else {
    EXPECT_EQ(vendor, "Unavailable");
  }
  const std::string brand = commandText(engine, "getbrandstring");
  EXPECT_FALSE(brand.empty());
  EXPECT_LE(brand.size(), 48u);
}

TEST(ProcessorCommands, EmptyTextsBecomeUnavailable) {
  untgz::Engine engine;
  // A processor whose vendor and brand bytes are all NUL.
  engine.cpu().sources = processorWith({{0, {1, 0, 0, 0}},
                                        {0x80000000u, {0x80000004u, 0, 0, 0}},
                                        {0x80000002u, {}},
                                        {0x80000003u, {}},
                                        {0x80000004u, {}}});
  EXPECT_EQ(engine.cpu().vendor(), "");
  EXPECT_EQ(engine.cpu().brand(), "");
  EXPECT_EQ(commandText(engine, "getcpuname"), "Unavailable");
  EXPECT_EQ(commandText(engine, "getbrandstring"), "Unavailable");
}

// Measured once per engine, that is once per load of the library, whatever the clock does
// afterwards.
TEST(ProcessorCommands, SpeedIsMeasuredOncePerEngine) {
  PlayedClock clock;
  clock.frequency = 10;
  clock.step = 10;
  clock.tscPerRead = 1000000;
  untgz::Engine engine;
  engine.cpu().sources = clock.sources();
  EXPECT_EQ(commandText(engine, "cpuspeed"), "1.0000 MHz");
  clock.tscPerRead = 5000000;
  EXPECT_EQ(commandText(engine, "cpuspeed"), "1.0000 MHz");
  EXPECT_EQ(clock.prioritySets.size(), 2u) << "measured once";

  untgz::Engine reloaded;
  reloaded.cpu().sources = clock.sources();
  EXPECT_EQ(commandText(reloaded, "cpuspeed"), "5.0000 MHz");
}

// The only test that measures for real (about one second).
TEST(ProcessorCommands, RealSpeedIsMeasuredAndThenRepeated) {
  untgz::Engine engine;
  const std::string first = commandText(engine, "cpuspeed");
  EXPECT_TRUE(std::regex_match(first, std::regex("[0-9]+\\.[0-9]{4} MHz")) || first == "Unavailable \n")
      << first;
  EXPECT_EQ(commandText(engine, "cpuspeed"), first);
}

}  // namespace
