#pragma once

#include <unknwn.h>

#include <utility>

namespace lumen::flash {

// Holds one reference to a COM interface and releases it at the end.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  // Adopts a reference the caller already owns.
  explicit ComRef(T* adopted) : ptr_(adopted) {}
  ComRef(const ComRef& other) : ptr_(other.ptr_) {
    if (ptr_) ptr_->AddRef();
  }
  ComRef(ComRef&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  ComRef& operator=(ComRef other) noexcept {
    std::swap(ptr_, other.ptr_);
    return *this;
  }
  ~ComRef() { Reset(); }

  void Reset() {
    if (T* old = std::exchange(ptr_, nullptr)) old->Release();
  }
  // For out parameters: drops the current reference first.
  T** Receive() {
    Reset();
    return &ptr_;
  }
  void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }
  T* Get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  T* Detach() { return std::exchange(ptr_, nullptr); }

 private:
  T* ptr_ = nullptr;
};

}  // namespace lumen::flash
