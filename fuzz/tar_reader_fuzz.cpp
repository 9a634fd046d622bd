// libFuzzer target: any byte string, plain or gzip, must walk to a clean end (no crash, no
// unbounded memory) and close with one of the walk's results (0, 3 or 8). A file's data and
// holes never make it longer than its size, and a complete file is exactly its size, so a
// sparse map can never lead a write past the end of its file.
//   cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DZAX_FUZZ=ON
//   cmake --build build/fuzz --target tar_reader_fuzz
//   build/fuzz/fuzz/tar_reader_fuzz -max_total_time=60 -rss_limit_mb=256 build/fuzz/corpus \
//     tests/data/conformance fuzz/seeds
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "common/unique_resource.h"
#include "engine/tar/archive_open.h"
#include "engine/tar/tar_reader.h"

namespace {

// Counts members, reads every byte of their data and checks that each file's data and
// holes add up to its size.
class CountingVisitor : public untgz::WalkVisitor {
 public:
  void onDirectory(const untgz::Member& member) override { total += member.name.size(); }
  void onFileBegin(const untgz::Member& member) override {
    total += member.name.size();
    if (member.size < 0) std::abort();
    size_ = member.size;
    position_ = 0;
  }
  void onFileData(const unsigned char* data, std::size_t length) override {
    for (std::size_t i = 0; i < length; ++i) total += data[i];
    advance(static_cast<std::int64_t>(length));
  }
  void onFileHole(std::int64_t length) override {
    if (length <= 0) std::abort();
    advance(length);
  }
  void onFileEnd(bool complete) override {
    if (complete && position_ != size_) std::abort();
  }
  std::uint64_t total = 0;

 private:
  void advance(std::int64_t length) {
    if (length > size_ - position_) std::abort();
    position_ += length;
  }
  std::int64_t size_ = 0, position_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const zax::UniqueDescriptor fd(::memfd_create("archive", 0));
  if (!fd) return 0;
  if (size > 0 && ::write(fd.get(), data, size) != static_cast<ssize_t>(size)) return 0;
  // Each input goes through every inflater this build has, read on the walk's own thread.
  const std::string path = "/proc/self/fd/" + std::to_string(fd.get());
  for (const untgz::Inflater inflater : {untgz::Inflater::zlib, untgz::Inflater::isal}) {
    if (!untgz::inflaterAvailable(inflater)) continue;
    const std::unique_ptr<untgz::ArchiveStream> stream = untgz::openArchiveStream(path, inflater);
    if (!stream) continue;
    std::atomic<std::uint64_t> consumed{0};
    std::atomic<std::int64_t> position{0};
    untgz::WalkProgress progress{consumed, position};
    CountingVisitor visitor;
    const untgz::WalkEnd end = untgz::walkArchive(*stream, visitor, progress, false);
    const std::int32_t result = untgz::finishWalk(*stream, end);
    if (result != 0 && result != 3 && result != 8) std::abort();
  }
  return 0;
}
