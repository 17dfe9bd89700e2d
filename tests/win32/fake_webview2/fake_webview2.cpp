#define VELMORA_FAKE_WEBVIEW2_BUILD
#include "tests/win32/fake_webview2/fake_webview2.h"

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/com_ptr.h"
#include "platform/win32/webview2_api.h"

// The fake's objects are released, never deleted through an interface (as in webview2_api.h).
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace {

namespace wv = webview2;
using wv::ComPtr;

class FakeWebView;

struct State {
  HRESULT createResult = S_OK;
  HRESULT environmentResult = S_OK;
  HRESULT controllerResult = S_OK;
  std::vector<std::wstring> texts[4];
  int liveObjects = 0;
  HWND parent = nullptr;
  RECT bounds{};
  BOOL visible = FALSE;
  BOOL devTools = FALSE;
  BOOL closed = FALSE;
  DWORD thread = 0;
  BOOL callerThreadOnly = TRUE;
  FakeWebView* view = nullptr;
  std::map<UINT_PTR, std::function<void()>> timers;
  int timerHandlers = 0;   // handlers captured by pending timers
  int scriptsPending = 0;  // document scripts whose completion has not run yet
  int scriptsPendingAtNavigation = -1;
};

State& state() {
  static State instance;
  return instance;
}

void CheckThread() {
  if (GetCurrentThreadId() != state().thread) state().callerThreadOnly = FALSE;
}

LPWSTR TaskMemoryCopy(const std::wstring& text) {
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (copy != nullptr) std::memcpy(copy, text.c_str(), bytes);
  return copy;
}

void CALLBACK RunTimer(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  const auto found = state().timers.find(id);
  if (found == state().timers.end()) return;
  std::function<void()> action = std::move(found->second);
  state().timers.erase(found);
  action();
}

// Runs `action` from the caller's message loop, as the runtime completes its asynchronous calls.
template <typename Handler>
void Later(ComPtr<Handler> handler, std::function<void(Handler*)> action) {
  ++state().timerHandlers;
  const UINT_PTR id = SetTimer(nullptr, 0, 0, RunTimer);
  state().timers[id] = [handler, action] {
    --state().timerHandlers;
    action(handler.Get());
  };
}

template <typename Interface>
class Object : public Interface {
 public:
  Object() { ++state().liveObjects; }
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (!IsEqualIID(id, IID_IUnknown)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~Object() { --state().liveObjects; }

 private:
  ULONG references_ = 1;
};

template <typename Concrete, typename... Args>
ComPtr<Concrete> Make(Args&&... args) {
  return ComPtr<Concrete>::Adopt(new Concrete(std::forward<Args>(args)...));
}

class FakeSettings final : public Object<wv::ICoreWebView2Settings> {
 public:
  HRESULT STDMETHODCALLTYPE get_IsScriptEnabled(BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_IsScriptEnabled(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_IsWebMessageEnabled(BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_IsWebMessageEnabled(BOOL) override {
    CheckThread();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_AreDefaultScriptDialogsEnabled(BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_AreDefaultScriptDialogsEnabled(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_IsStatusBarEnabled(BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_IsStatusBarEnabled(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_AreDevToolsEnabled(BOOL* enabled) override {
    *enabled = state().devTools;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_AreDevToolsEnabled(BOOL enabled) override {
    CheckThread();
    state().devTools = enabled;
    return S_OK;
  }
};

class FakeMessageArgs final : public Object<wv::ICoreWebView2WebMessageReceivedEventArgs> {
 public:
  explicit FakeMessageArgs(std::wstring json) : json_(std::move(json)) {}
  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* source) override {
    *source = TaskMemoryCopy(L"about:blank");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_WebMessageAsJson(LPWSTR* json) override {
    *json = TaskMemoryCopy(json_);
    return S_OK;
  }

 private:
  std::wstring json_;
};

class FakeFailureArgs final : public Object<wv::ICoreWebView2ProcessFailedEventArgs> {
 public:
  explicit FakeFailureArgs(int kind) : kind_(kind) {}
  HRESULT STDMETHODCALLTYPE get_ProcessFailedKind(int* kind) override {
    *kind = kind_;
    return S_OK;
  }

 private:
  int kind_;
};

#define FAKE_UNUSED_EVENT(name)                                                            \
  HRESULT STDMETHODCALLTYPE add_##name(wv::Unused, wv::EventRegistrationToken*) override { \
    return E_NOTIMPL;                                                                      \
  }                                                                                        \
  HRESULT STDMETHODCALLTYPE remove_##name(wv::EventRegistrationToken) override {           \
    return E_NOTIMPL;                                                                      \
  }

class FakeWebView final : public Object<wv::ICoreWebView2> {
 public:
  FakeWebView() { state().view = this; }
  ~FakeWebView() override { state().view = nullptr; }

  int HeldHandlers() const {
    return static_cast<int>(messageHandlers_.size() + failureHandlers_.size());
  }
  void DropHandlers() {
    messageHandlers_.clear();
    failureHandlers_.clear();
  }
  BOOL Post(const std::wstring& json) {
    if (messageHandlers_.empty()) return FALSE;
    ComPtr<FakeMessageArgs> args = Make<FakeMessageArgs>(json);
    for (auto handlers = messageHandlers_; auto& handler : handlers)
      handler->Invoke(this, args.Get());
    return TRUE;
  }
  BOOL Fail(int kind) {
    if (failureHandlers_.empty()) return FALSE;
    ComPtr<FakeFailureArgs> args = Make<FakeFailureArgs>(kind);
    for (auto handlers = failureHandlers_; auto& handler : handlers)
      handler->Invoke(this, args.Get());
    return TRUE;
  }

  HRESULT STDMETHODCALLTYPE get_Settings(wv::ICoreWebView2Settings** settings) override {
    CheckThread();
    *settings = Make<FakeSettings>().Detach();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NavigateToString(LPCWSTR html) override {
    CheckThread();
    state().texts[kFakeNavigatedHtml].emplace_back(html);
    state().scriptsPendingAtNavigation = state().scriptsPending;
    return S_OK;
  }
  FAKE_UNUSED_EVENT(NavigationStarting)
  FAKE_UNUSED_EVENT(ContentLoading)
  FAKE_UNUSED_EVENT(SourceChanged)
  FAKE_UNUSED_EVENT(HistoryChanged)
  FAKE_UNUSED_EVENT(NavigationCompleted)
  FAKE_UNUSED_EVENT(FrameNavigationStarting)
  FAKE_UNUSED_EVENT(FrameNavigationCompleted)
  FAKE_UNUSED_EVENT(ScriptDialogOpening)
  FAKE_UNUSED_EVENT(PermissionRequested)
  HRESULT STDMETHODCALLTYPE add_ProcessFailed(wv::ICoreWebView2ProcessFailedEventHandler* handler,
                                              wv::EventRegistrationToken* token) override {
    CheckThread();
    failureHandlers_.emplace_back(handler);
    token->value = static_cast<__int64>(failureHandlers_.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE remove_ProcessFailed(wv::EventRegistrationToken) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(
      LPCWSTR script,
      wv::ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* handler) override {
    CheckThread();
    state().texts[kFakeDocumentScript].emplace_back(script);
    ++state().scriptsPending;
    Later<wv::ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler>(
        handler, [](auto* completed) {
          --state().scriptsPending;
          completed->Invoke(S_OK, L"script-id");
        });
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RemoveScriptToExecuteOnDocumentCreated(LPCWSTR) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE
  ExecuteScript(LPCWSTR script, wv::ICoreWebView2ExecuteScriptCompletedHandler* handler) override {
    CheckThread();
    state().texts[kFakeExecutedScript].emplace_back(script);
    if (handler != nullptr) {
      Later<wv::ICoreWebView2ExecuteScriptCompletedHandler>(
          handler, [](auto* completed) { completed->Invoke(S_OK, L"null"); });
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CapturePreview(int, IStream*, wv::Unused) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reload() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE PostWebMessageAsString(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE
  add_WebMessageReceived(wv::ICoreWebView2WebMessageReceivedEventHandler* handler,
                         wv::EventRegistrationToken* token) override {
    CheckThread();
    messageHandlers_.emplace_back(handler);
    token->value = static_cast<__int64>(messageHandlers_.size());
    return S_OK;
  }

 private:
  std::vector<ComPtr<wv::ICoreWebView2WebMessageReceivedEventHandler>> messageHandlers_;
  std::vector<ComPtr<wv::ICoreWebView2ProcessFailedEventHandler>> failureHandlers_;
};

class FakeController final : public Object<wv::ICoreWebView2Controller> {
 public:
  HRESULT STDMETHODCALLTYPE get_IsVisible(BOOL* visible) override {
    *visible = state().visible;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL visible) override {
    CheckThread();
    state().visible = visible;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Bounds(RECT* bounds) override {
    *bounds = state().bounds;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) override {
    CheckThread();
    state().bounds = bounds;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ZoomFactor(double*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_ZoomFactor(double) override { return E_NOTIMPL; }
  FAKE_UNUSED_EVENT(ZoomFactorChanged)
  HRESULT STDMETHODCALLTYPE SetBoundsAndZoomFactor(RECT, double) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE MoveFocus(int) override {
    CheckThread();
    return S_OK;
  }
  FAKE_UNUSED_EVENT(MoveFocusRequested)
  FAKE_UNUSED_EVENT(GotFocus)
  FAKE_UNUSED_EVENT(LostFocus)
  FAKE_UNUSED_EVENT(AcceleratorKeyPressed)
  HRESULT STDMETHODCALLTYPE get_ParentWindow(HWND* parent) override {
    *parent = state().parent;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_ParentWindow(HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() override {
    CheckThread();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Close() override {
    CheckThread();
    state().closed = TRUE;
    view_->DropHandlers();  // a closed view raises no more events
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_CoreWebView2(wv::ICoreWebView2** view) override {
    CheckThread();
    *view = ComPtr<FakeWebView>(view_).Detach();
    return S_OK;
  }

 private:
  ComPtr<FakeWebView> view_ = Make<FakeWebView>();
};

class FakeEnvironment final : public Object<wv::ICoreWebView2Environment> {
 public:
  HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parent,
      wv::ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) override {
    CheckThread();
    state().parent = parent;
    Later<wv::ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>(
        handler, [](auto* completed) {
          if (FAILED(state().controllerResult)) {
            completed->Invoke(state().controllerResult, nullptr);
            return;
          }
          completed->Invoke(S_OK, Make<FakeController>().Get());
        });
    return S_OK;
  }
};

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(
    LPCWSTR, LPCWSTR userDataFolder, IUnknown*,
    wv::ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  state().thread = GetCurrentThreadId();
  state().texts[kFakeUserDataFolder].emplace_back(userDataFolder != nullptr ? userDataFolder : L"");
  if (FAILED(state().createResult)) return state().createResult;
  Later<wv::ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>(
      handler, [](auto* completed) {
        if (FAILED(state().environmentResult)) {
          completed->Invoke(state().environmentResult, nullptr);
          return;
        }
        completed->Invoke(S_OK, Make<FakeEnvironment>().Get());
      });
  return S_OK;
}

FAKE_WEBVIEW2_API void FakeWebView2Reset(HRESULT createResult, HRESULT environmentResult,
                                         HRESULT controllerResult) {
  State& current = state();
  for (auto& texts : current.texts)
    texts.clear();
  current.createResult = createResult;
  current.environmentResult = environmentResult;
  current.controllerResult = controllerResult;
  current.parent = nullptr;
  current.bounds = {};
  current.visible = FALSE;
  current.devTools = FALSE;
  current.closed = FALSE;
  current.callerThreadOnly = TRUE;
  current.scriptsPendingAtNavigation = -1;
}

FAKE_WEBVIEW2_API int FakeWebView2TextCount(int kind) {
  return static_cast<int>(state().texts[kind].size());
}

FAKE_WEBVIEW2_API const wchar_t* FakeWebView2Text(int kind, int index) {
  return state().texts[kind].at(static_cast<size_t>(index)).c_str();
}

FAKE_WEBVIEW2_API int FakeWebView2LiveObjects() {
  return state().liveObjects;
}

FAKE_WEBVIEW2_API int FakeWebView2HeldHandlers() {
  const int events = state().view != nullptr ? state().view->HeldHandlers() : 0;
  return events + state().timerHandlers;
}

FAKE_WEBVIEW2_API HWND FakeWebView2ParentWindow() {
  return state().parent;
}

FAKE_WEBVIEW2_API RECT FakeWebView2Bounds() {
  return state().bounds;
}

FAKE_WEBVIEW2_API BOOL FakeWebView2Visible() {
  return state().visible;
}

FAKE_WEBVIEW2_API BOOL FakeWebView2DevToolsEnabled() {
  return state().devTools;
}

FAKE_WEBVIEW2_API BOOL FakeWebView2ControllerClosed() {
  return state().closed;
}

FAKE_WEBVIEW2_API BOOL FakeWebView2CallsOnStartingThread() {
  return state().callerThreadOnly;
}

FAKE_WEBVIEW2_API BOOL FakeWebView2PostWebMessage(const wchar_t* json) {
  return state().view != nullptr ? state().view->Post(json) : FALSE;
}

FAKE_WEBVIEW2_API BOOL FakeWebView2FailProcess(int kind) {
  return state().view != nullptr ? state().view->Fail(kind) : FALSE;
}

FAKE_WEBVIEW2_API int FakeWebView2ScriptsPendingAtNavigation() {
  return state().scriptsPendingAtNavigation;
}
