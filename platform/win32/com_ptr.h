// An owning pointer to a COM object: one reference, released when the pointer lets go.
//
// The project's own rather than WRL's ComPtr: mingw-w64's ComPtr::Attach adds a reference where
// the documented Attach takes over the caller's, so an object handed over with Attach leaks.
#pragma once

#include <cstddef>
#include <utility>

namespace webview2 {

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(T* object) : object_(object) {  // NOLINT: shares the caller's object, like a copy
    if (object_ != nullptr) object_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.object_) {}
  ComPtr(ComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ~ComPtr() { Reset(); }

  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }

  // Takes over a reference the caller already holds (a new object, an out parameter).
  static ComPtr Adopt(T* object) {
    ComPtr adopted;
    adopted.object_ = object;
    return adopted;
  }

  T* Get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  bool operator==(std::nullptr_t) const { return object_ == nullptr; }

  // For an out parameter that receives a reference: drops the current object first.
  T** Receive() {
    Reset();
    return &object_;
  }

  // Gives the reference to the caller.
  T* Detach() { return std::exchange(object_, nullptr); }

  void Reset() {
    if (T* object = std::exchange(object_, nullptr)) object->Release();
  }

 private:
  T* object_ = nullptr;
};

}  // namespace webview2
