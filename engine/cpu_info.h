// Processor information behind "cpuspeed", "getcpuname" and "getbrandstring": the clock
// speed measured with the time-stamp counter over one second of the performance counter,
// and the vendor and brand texts of the processor identification instruction. A processor
// without those instructions gives a fallback text, never a fault.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace untgz {

struct CpuidRegisters {
  std::uint32_t eax = 0;
  std::uint32_t ebx = 0;
  std::uint32_t ecx = 0;
  std::uint32_t edx = 0;
};

// The processor's time-stamp counter; 0 when the processor has none (or is not x86).
std::uint64_t readTimeStampCounter();

// Runs CPUID for the leaf: 0 on success; 1 with all registers 0 when the processor has no
// CPUID or does not reach that leaf (asking beyond the highest leaf would answer garbage).
int queryCpuid(std::uint32_t leaf, CpuidRegisters& registers);

// Where the texts come from: the instructions, the performance counter and the thread's
// priority. Tests replace members to play a processor that lacks something.
struct CpuSources {
  std::function<std::uint64_t()> readTimeStampCounter;
  std::function<int(std::uint32_t leaf, CpuidRegisters& registers)> queryCpuid;
  std::function<bool(std::int64_t& ticks)> readPerformanceCounter;
  std::function<bool(std::int64_t& ticksPerSecond)> readPerformanceFrequency;
  std::function<int()> currentThreadPriority;
  std::function<bool(int priority)> setCurrentThreadPriority;
};

// The real processor and system.
CpuSources systemCpuSources();

// Counts time-stamp ticks over one second of the performance counter at raised priority
// (the former priority is restored) and formats them as "2793.0412 MHz"; "Unavailable \n"
// when a counter is missing. Measures every time it is called.
std::string produceCpuSpeedText(const CpuSources& sources);

// The 12 vendor bytes of leaf 0 (EBX, EDX, ECX), cut at a NUL; "Unavailable" without CPUID.
std::string buildVendorString(const CpuSources& sources);

// The 48 brand bytes of leaves 0x80000002..4 as they come (leading blanks kept), cut at the
// first NUL; "Unavailable" when the extended leaves do not reach 0x80000004.
std::string buildBrandString(const CpuSources& sources);

// The processor texts of one engine: the sources they come from, and the speed, which is
// measured once.
class CpuInfo {
 public:
  // Where the texts come from; starts as systemCpuSources().
  CpuSources sources = systemCpuSources();

  // Behind "cpuspeed": measured on the first call, then only returned (also when that
  // first measurement gave "Unavailable \n"). An engine lives as long as its library is
  // loaded, so this is once per load.
  const std::string& speed();

  // Behind "getcpuname" and "getbrandstring": rebuilt on every call.
  std::string vendor() const { return buildVendorString(sources); }
  std::string brand() const { return buildBrandString(sources); }

 private:
  std::mutex lock_;
  bool measured_ = false;
  std::string speed_;
};

}  // namespace untgz
