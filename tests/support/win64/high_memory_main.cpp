// The main of every 64-bit Windows test program: the tests run with nothing of theirs in the
// low 4 GB of address space, so that an address cut to 32 bits anywhere (in the tests, the
// control, the host or the engine) points at reserved memory and crashes, as it would on
// 64-bit Windows. Wine keeps a 64-bit process's heaps and stack below 4 GB, where a cut
// address still works by luck.
//
// Before main, every free range below 4 GB is reserved and the low parts of the C runtime's
// heap and of the process heap (which oleaut32 and ole32 allocate from) are used up, so that
// later allocations come from above. The tests then run on a thread of their own, whose
// stack lies above 4 GB too. main checks each of these before any test runs and fails the
// program, loudly, when one did not work.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/unique_handle.h"

namespace {

constexpr std::uintptr_t kLow = std::uintptr_t{1} << 32;

bool isHigh(const void* address) { return reinterpret_cast<std::uintptr_t>(address) >= kLow; }

std::uintptr_t gReservedBytes = 0;

void reserveLowAddressSpace() {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  const std::uintptr_t granularity = system.dwAllocationGranularity;
  std::uintptr_t at = reinterpret_cast<std::uintptr_t>(system.lpMinimumApplicationAddress);
  while (at < kLow) {
    MEMORY_BASIC_INFORMATION region;
    if (VirtualQuery(reinterpret_cast<void*>(at), &region, sizeof region) == 0) break;
    const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(region.BaseAddress);
    std::uintptr_t end = base + region.RegionSize;
    if (end > kLow) end = kLow;
    if (region.State == MEM_FREE) {
      // Reservations start on the allocation granularity; the pages before it stay free
      // but no allocation can begin there.
      const std::uintptr_t start = (base + granularity - 1) / granularity * granularity;
      if (start < end && VirtualAlloc(reinterpret_cast<void*>(start), end - start, MEM_RESERVE,
                                      PAGE_NOACCESS) != nullptr) {
        gReservedBytes += end - start;
      }
    }
    at = end > at ? end : at + granularity;
  }
}

// The sizes asked for when using up the low blocks, largest first: Wine's heap serves small
// blocks from bins of one size class each (16 bytes apart up to 512, eight classes per
// doubling above), and a bin keeps its low slots however many blocks of other classes were
// taken, so every class is asked for once.
std::vector<std::size_t> blockSizes() {
  std::vector<std::size_t> sizes{std::size_t{1} << 16, std::size_t{1} << 15};
  for (std::size_t power = std::size_t{1} << 14; power > 512; power /= 2) {
    for (std::size_t step = 8; step > 0; --step) sizes.push_back(power / 2 + power / 16 * step);
  }
  for (std::size_t size = 512; size >= 16; size -= 16) sizes.push_back(size);
  return sizes;
}

// Takes every block an allocator still has below 4 GB, in each size class, and keeps them for
// the life of the process; the first block it hands out from above is given back.
template <typename Allocate, typename Release>
void useUpLowBlocks(Allocate allocate, Release release) {
  static const std::vector<std::size_t> sizes = blockSizes();
  for (const std::size_t size : sizes) {
    for (;;) {
      void* block = allocate(size);
      if (block == nullptr) break;
      if (isHigh(block)) {
        release(block);
        break;
      }
    }
  }
}

void useUpLowHeapBlocks() {
  useUpLowBlocks([](std::size_t size) { return std::malloc(size); }, [](void* p) { std::free(p); });
  const HANDLE processHeap = GetProcessHeap();
  useUpLowBlocks([&](std::size_t size) { return HeapAlloc(processHeap, 0, size); },
                 [&](void* p) { HeapFree(processHeap, 0, p); });
}

__attribute__((constructor(101))) void moveAboveFourGigabytes() {
  reserveLowAddressSpace();
  useUpLowHeapBlocks();
}

struct Run {
  int argc;
  char** argv;
  int result = 1;
  bool stackIsHigh = false;
};

DWORD WINAPI runTests(void* parameter) {
  auto* run = static_cast<Run*>(parameter);
  const int onThisStack = 0;
  // Only whether the stack lies high is kept; the address is not used after this thread.
  run->stackIsHigh = isHigh(&onThisStack);
  if (!run->stackIsHigh) return 0;
  testing::InitGoogleTest(&run->argc, run->argv);
  run->result = RUN_ALL_TESTS();
  return 0;
}

// Every kind of memory the tests and the modules under test use, checked once.
std::string lowMemoryLeft() {
  std::string left;
  if (gReservedBytes == 0) left += " no reservation;";
  void* block = std::malloc(64);
  if (!isHigh(block)) left += " malloc;";
  std::free(block);
  auto* object = new std::string(100, 'x');
  if (!isHigh(object) || !isHigh(object->data())) left += " operator new;";
  delete object;
  void* heap = HeapAlloc(GetProcessHeap(), 0, 64);
  if (!isHigh(heap)) left += " the process heap;";
  HeapFree(GetProcessHeap(), 0, heap);
  BSTR text = SysAllocString(L"a BSTR");
  if (!isHigh(text)) left += " SysAllocString;";
  SysFreeString(text);
  void* task = CoTaskMemAlloc(64);
  if (!isHigh(task)) left += " CoTaskMemAlloc;";
  CoTaskMemFree(task);
  void* pages = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!isHigh(pages)) left += " VirtualAlloc;";
  VirtualFree(pages, 0, MEM_RELEASE);
  static const int kStatic = 0;
  if (!isHigh(&kStatic)) left += " the program's image;";
  return left;
}

}  // namespace

int main(int argc, char** argv) {
  // Again: what the other constructors gave back below 4 GB since. The check itself may be
  // handed a low block and give it back, so a block found low is taken and the check made
  // again, a few times, before the program gives up.
  std::string left;
  for (int round = 0; round < 4; ++round) {
    useUpLowHeapBlocks();
    left = lowMemoryLeft();
    if (left.empty()) break;
  }
  if (!left.empty()) {
    std::fprintf(stderr, "high_memory_main: memory below 4 GB is still handed out:%s\n",
                 left.c_str());
    return 3;
  }
  Run run{argc, argv};
  // A stack as large as the main thread's, from above 4 GB like everything else.
  const zax::UniqueKernelHandle thread(
      CreateThread(nullptr, 8u << 20, runTests, &run, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  if (!thread) {
    std::fprintf(stderr, "high_memory_main: the test thread could not be started\n");
    return 3;
  }
  WaitForSingleObject(thread.get(), INFINITE);
  // Under Wine the wait ends when the thread has told the server it ends, and the thread is
  // then still unwinding on the Unix side; a process that exits at that moment runs the C
  // library's teardown beside that unwinding (a CI run's program died of a segmentation
  // fault there, after every test passed). The pause lets the thread finish first.
  Sleep(50);
  if (!run.stackIsHigh) {
    std::fprintf(stderr, "high_memory_main: the test thread's stack lies below 4 GB\n");
    return 3;
  }
  return run.result;
}
