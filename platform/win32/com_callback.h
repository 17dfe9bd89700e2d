// A COM handler object around a C++ function, for the one-method handler interfaces of WebView2
// (a completion or an event: IUnknown plus Invoke).
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <unknwn.h>

#include <atomic>
#include <functional>
#include <utility>

#include "platform/win32/com_ptr.h"

// A COM object dies by its own Release, not by a delete through an interface: no virtual
// destructor is needed (see webview2_api.h).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace webview2 {

// Reference counted like any COM object: it starts with one reference, owned by the ComPtr that
// Make returns; the runtime adds its own while it keeps the handler, and the object
// deletes itself with its last Release.
template <typename Interface, typename... Args>
class Callback final : public Interface {
 public:
  using Function = std::function<HRESULT(Args...)>;

  // A new handler; the ComPtr holds the reference it was created with.
  static ComPtr<Interface> Make(Function function) {
    return ComPtr<Interface>::Adopt(new Callback(std::move(function)));
  }

  Callback(const Callback&) = delete;
  Callback& operator=(const Callback&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, Interface::kIid)) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }

  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }

  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // An exception must not unwind into the runtime's code: it becomes a failure code.
  HRESULT STDMETHODCALLTYPE Invoke(Args... args) override {
    try {
      return function_ ? function_(args...) : S_OK;
    } catch (...) {
      return E_UNEXPECTED;
    }
  }

 private:
  explicit Callback(Function function) : function_(std::move(function)) {}
  ~Callback() = default;

  Function function_;
  std::atomic<ULONG> references_{1};
};

}  // namespace webview2

#pragma GCC diagnostic pop
