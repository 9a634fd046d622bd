// Owners of the system's resources, one template for all of them in the style of WIL's
// unique_any: the resource is closed exactly once, when its owner goes or is reset, and a
// close whose status matters is asked for with close(). Each kind of resource is a small
// traits struct (its handle type, the value that owns nothing, how it is closed). The
// owners of Windows' own handles are in unique_handle.h, so that what includes this header
// does not take in <windows.h>.
#pragma once

#include <cstdio>
#include <utility>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace zax {

template <typename Traits>
class UniqueResource {
 public:
  using Handle = typename Traits::Handle;

  UniqueResource() = default;
  explicit UniqueResource(Handle handle) : handle_(handle) {}
  UniqueResource(UniqueResource&& other) noexcept : handle_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  ~UniqueResource() { reset(); }

  explicit operator bool() const { return handle_ != Traits::invalid(); }
  Handle get() const { return handle_; }

  // Gives the handle up without closing it.
  Handle release() { return std::exchange(handle_, Traits::invalid()); }

  // Closes what is owned (its status is not wanted) and owns `handle` from now on.
  void reset(Handle handle = Traits::invalid()) {
    const Handle old = std::exchange(handle_, handle);
    if (old != Traits::invalid()) Traits::close(old);
  }

  // Closes what is owned and says whether the close succeeded (for a stream: whether the
  // buffered data reached the file). True when nothing was owned.
  bool close() {
    const Handle old = release();
    return old == Traits::invalid() || Traits::close(old);
  }

 private:
  Handle handle_ = Traits::invalid();
};

struct StreamTraits {
  using Handle = std::FILE*;
  static constexpr Handle invalid() { return nullptr; }
  static bool close(Handle stream) { return std::fclose(stream) == 0; }
};
using UniqueStream = UniqueResource<StreamTraits>;

// A descriptor of the system (POSIX) or of the C library (Windows, over a handle).
struct DescriptorTraits {
  using Handle = int;
  static constexpr Handle invalid() { return -1; }
#ifdef _WIN32
  static bool close(Handle fd) { return ::_close(fd) == 0; }
#else
  static bool close(Handle fd) { return ::close(fd) == 0; }
#endif
};
using UniqueDescriptor = UniqueResource<DescriptorTraits>;

}  // namespace zax
