#include "engine/cpu_info.h"

#include <cstdio>
#include <cstring>

#include "engine/platform/platform.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <x86intrin.h>
#define UNTGZ_X86 1
#endif

namespace untgz {

namespace {

// The highest normal scheduling level (THREAD_PRIORITY_HIGHEST).
constexpr int kHighestNormalPriority = 2;
constexpr std::uint32_t kTimeStampCounterFeature = 1u << 4;  // leaf 1, EDX
constexpr std::uint32_t kLastBrandLeaf = 0x80000004u;

const char kUnavailableSpeed[] = "Unavailable \n";
const char kUnavailable[] = "Unavailable";

// Register bytes lowest first, as the processor lays out its identification texts.
void appendRegister(std::string& text, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    text.push_back(static_cast<char>((value >> shift) & 0xffu));
  }
}

std::string cutAtNul(const std::string& text) { return text.substr(0, text.find('\0')); }

}  // namespace

#if defined(UNTGZ_X86)

int queryCpuid(std::uint32_t leaf, CpuidRegisters& registers) {
  registers = CpuidRegisters{};
  // __get_cpuid_max answers 0 on a 32-bit processor without CPUID; otherwise the highest
  // leaf of the range (basic or extended) that the leaf belongs to.
  const unsigned int highest = __get_cpuid_max(leaf & 0x80000000u, nullptr);
  if (highest == 0 || leaf > highest) return 1;
  unsigned int a = 0, b = 0, c = 0, d = 0;
  __cpuid_count(leaf, 0, a, b, c, d);
  registers.eax = a;
  registers.ebx = b;
  registers.ecx = c;
  registers.edx = d;
  return 0;
}

std::uint64_t readTimeStampCounter() {
  // RDTSC faults on a processor that lacks it: ask the feature flags first.
  CpuidRegisters features;
  if (queryCpuid(1, features) != 0 || (features.edx & kTimeStampCounterFeature) == 0) return 0;
  return __rdtsc();
}

#else

int queryCpuid(std::uint32_t, CpuidRegisters& registers) {
  registers = CpuidRegisters{};
  return 1;
}

std::uint64_t readTimeStampCounter() { return 0; }

#endif

CpuSources systemCpuSources() {
  CpuSources sources;
  sources.readTimeStampCounter = [] { return readTimeStampCounter(); };
  sources.queryCpuid = [](std::uint32_t leaf, CpuidRegisters& registers) {
    return queryCpuid(leaf, registers);
  };
  sources.readPerformanceCounter = [](std::int64_t& ticks) {
    return platform::readPerformanceCounter(ticks);
  };
  sources.readPerformanceFrequency = [](std::int64_t& ticksPerSecond) {
    return platform::readPerformanceFrequency(ticksPerSecond);
  };
  sources.currentThreadPriority = [] { return platform::currentThreadPriority(); };
  sources.setCurrentThreadPriority = [](int priority) {
    return platform::setCurrentThreadPriority(priority);
  };
  return sources;
}

std::string produceCpuSpeedText(const CpuSources& sources) {
  std::int64_t counter = 0;
  std::int64_t frequency = 0;
  if (sources.readTimeStampCounter() == 0 || !sources.readPerformanceCounter(counter) ||
      !sources.readPerformanceFrequency(frequency)) {
    return kUnavailableSpeed;
  }

  const int savedPriority = sources.currentThreadPriority();
  sources.setCurrentThreadPriority(kHighestNormalPriority);

  // A first read warms the instruction up, so the start count is not its slowest one.
  sources.readTimeStampCounter();
  std::int64_t start = 0;
  sources.readPerformanceCounter(start);
  sources.readPerformanceCounter(start);
  const std::uint64_t startCount = sources.readTimeStampCounter();
  std::int64_t now = start;
  while (now - start < frequency) {
    if (!sources.readPerformanceCounter(now)) break;
  }
  const std::uint64_t endCount = sources.readTimeStampCounter();
  sources.setCurrentThreadPriority(savedPriority);

  // The interval is taken as exactly one second, so the tick count is the frequency.
  const double megahertz =
      static_cast<double>(static_cast<std::int64_t>(endCount - startCount)) * 0.000001;
  char text[64];
  std::snprintf(text, sizeof text, "%0.4f MHz", megahertz);
  return text;
}

std::string buildVendorString(const CpuSources& sources) {
  CpuidRegisters registers;
  if (sources.queryCpuid(0, registers) != 0) return kUnavailable;
  std::string text;
  appendRegister(text, registers.ebx);
  appendRegister(text, registers.edx);
  appendRegister(text, registers.ecx);
  return cutAtNul(text);
}

std::string buildBrandString(const CpuSources& sources) {
  CpuidRegisters registers;
  if (sources.queryCpuid(0x80000000u, registers) != 0 || registers.eax < kLastBrandLeaf) {
    return kUnavailable;
  }
  std::string text;
  for (std::uint32_t leaf = 0x80000002u; leaf <= kLastBrandLeaf; ++leaf) {
    if (sources.queryCpuid(leaf, registers) != 0) return kUnavailable;
    appendRegister(text, registers.eax);
    appendRegister(text, registers.ebx);
    appendRegister(text, registers.ecx);
    appendRegister(text, registers.edx);
  }
  return cutAtNul(text);
}

const std::string& CpuInfo::speed() {
  std::lock_guard<std::mutex> guard(lock_);
  if (!measured_) {
    speed_ = produceCpuSpeedText(sources);
    measured_ = true;
  }
  return speed_;
}

}  // namespace untgz
