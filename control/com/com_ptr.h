// The one owner of the COM references the server holds, after WIL's com_ptr and ATL's
// CComPtr: a copy takes a reference of its own, destruction and reset() give it back.
// Whatever is given back is first taken out of the pointer, so that a Release which calls
// back into the holder (a container dropping its last reference to us, say) finds it
// already empty.
#pragma once

#include <unknwn.h>

#include <cstddef>

namespace zax::com {

template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  // Shares pointer: takes a reference of its own. To take over a reference the caller
  // already owns (a new object's first one), use attach().
  explicit ComPtr(T* pointer) noexcept : pointer_(pointer) {
    if (pointer_ != nullptr) pointer_->AddRef();
  }
  ComPtr(const ComPtr& other) noexcept : ComPtr(other.pointer_) {}
  ComPtr(ComPtr&& other) noexcept : pointer_(other.detach()) {}
  ~ComPtr() { reset(); }

  ComPtr& operator=(const ComPtr& other) noexcept { return *this = other.pointer_; }
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) attach(other.detach());
    return *this;
  }
  // Shares pointer, as the constructor does; assigning what is already held is harmless.
  ComPtr& operator=(T* pointer) noexcept {
    if (pointer != nullptr) pointer->AddRef();
    attach(pointer);
    return *this;
  }
  ComPtr& operator=(std::nullptr_t) noexcept {
    reset();
    return *this;
  }

  T* get() const noexcept { return pointer_; }
  T* operator->() const noexcept { return pointer_; }
  T& operator*() const noexcept { return *pointer_; }
  explicit operator bool() const noexcept { return pointer_ != nullptr; }

  // Gives back the reference held, if any.
  void reset() noexcept { attach(nullptr); }
  // Takes over the caller's reference to pointer, giving back the one held before.
  void attach(T* pointer) noexcept {
    T* previous = pointer_;
    pointer_ = pointer;
    if (previous != nullptr) previous->Release();
  }
  // Hands the reference held to the caller, who now owns it.
  [[nodiscard]] T* detach() noexcept {
    T* pointer = pointer_;
    pointer_ = nullptr;
    return pointer;
  }

  // For an out-parameter that receives a new reference: gives back the one held first.
  T** put() noexcept {
    reset();
    return &pointer_;
  }
  void** putVoid() noexcept { return reinterpret_cast<void**>(put()); }

  // Answers an out-parameter with a reference of its own (null when nothing is held).
  void copyTo(T** out) const noexcept {
    *out = pointer_;
    if (pointer_ != nullptr) pointer_->AddRef();
  }

  // QueryInterface for iid (the IID of U unless given) into out.
  template <class U>
  HRESULT queryTo(ComPtr<U>& out, REFIID iid = __uuidof(U)) const noexcept {
    return pointer_->QueryInterface(iid, out.putVoid());
  }

 private:
  T* pointer_ = nullptr;
};

}  // namespace zax::com
