#define VELMORA_FAKE_WEBVIEW2_BUILD
#include "tests/win32/fake_webview2/fake_webview2.h"

// after windows.h, which they need
#include <objidl.h>
#include <unknwn.h>

#include <array>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/webview2_sdk.h"

namespace {

namespace sdk = webview2::sdk;
namespace slot = webview2::sdk::slot;

// One entry of an object's table of functions, cast to its real type when filled.
using Method = void (*)();

// What an add_ method hands back (EventRegistrationToken of the SDK: one 64-bit value).
struct EventRegistrationToken {
  __int64 value;
};

// The interfaces the fake implements, with the number of slots of their tables (past the last one
// the SDK numbers for the launcher).
enum Kind : int {
  kEnvironment,
  kController,
  kView,
  kSettings,
  kMessageArgs,
  kFailureArgs,
  kNavigationArgs,
  kNewWindowArgs,
  kContentArgs,
  kKindCount,
};
constexpr const char* kKindNames[kKindCount] = {
    "ICoreWebView2Environment",
    "ICoreWebView2Controller",
    "ICoreWebView2",
    "ICoreWebView2Settings",
    "ICoreWebView2WebMessageReceivedEventArgs",
    "ICoreWebView2ProcessFailedEventArgs",
    "ICoreWebView2NavigationStartingEventArgs",
    "ICoreWebView2NewWindowRequestedEventArgs",
    "ICoreWebView2ContentLoadingEventArgs",
};
constexpr std::size_t kTableSize = 64;

constexpr wchar_t kPageSource[] = L"about:blank";
// What NavigationStarting reports for a NavigateToString page: not the address the document has
// afterwards, so the launcher must not rely on the two being alike.
constexpr wchar_t kPageNavigationUri[] = L"data:text/html;charset=utf-8;base64,PHA+PC9wPg==";

struct ComObject;

struct State {
  HRESULT createResult = S_OK;
  HRESULT environmentResult = S_OK;
  HRESULT controllerResult = S_OK;
  bool oldRuntime = false;
  std::vector<std::wstring> texts[4];
  int liveObjects = 0;
  HWND parent = nullptr;
  RECT bounds{};
  BOOL visible = FALSE;
  BOOL devTools = FALSE;
  BOOL closed = FALSE;
  std::map<std::string, int> settings;
  DWORD thread = 0;
  BOOL callerThreadOnly = TRUE;
  ComObject* view = nullptr;
  std::wstring source;
  std::map<UINT_PTR, std::function<void()>> timers;
  int timerHandlers = 0;   // handlers captured by pending timers
  int scriptsPending = 0;  // document scripts whose completion has not run yet
  int scriptsPendingAtNavigation = -1;
  std::map<std::pair<std::string, int>, int> slotCalls;
  std::vector<std::string> wrongCalls;
};

State& state() {
  static State instance;
  return instance;
}

void CheckThread() {
  if (GetCurrentThreadId() != state().thread) state().callerThreadOnly = FALSE;
}

void Called(const char* interfaceName, int slotNumber) {
  ++state().slotCalls[{interfaceName, slotNumber}];
}

void Wrong(const std::string& what) {
  state().wrongCalls.push_back(what);
}

IID ToIid(const sdk::Guid& guid) {
  IID id{};
  id.Data1 = guid.data1;
  id.Data2 = guid.data2;
  id.Data3 = guid.data3;
  std::memcpy(id.Data4, guid.data4, sizeof(id.Data4));
  return id;
}

LPWSTR TaskMemoryCopy(const std::wstring& text) {
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (copy != nullptr) std::memcpy(copy, text.c_str(), bytes);
  return copy;
}

// ---- Objects, laid out as COM objects: the table pointer first ---------------------------------

struct ComObject {
  const Method* table = nullptr;
  Kind kind = kEnvironment;
  ULONG references = 1;
  void (*destroy)(ComObject*) = nullptr;
};

template <typename T>
T* New(Kind kind, const Method* table) {
  auto* object = new T();
  object->table = table;
  object->kind = kind;
  object->destroy = [](ComObject* done) { delete static_cast<T*>(done); };
  ++state().liveObjects;
  return object;
}

ULONG STDMETHODCALLTYPE AddRefObject(ComObject* self) {
  return ++self->references;
}

ULONG STDMETHODCALLTYPE ReleaseObject(ComObject* self) {
  const ULONG left = --self->references;
  if (left == 0) {
    --state().liveObjects;
    self->destroy(self);
  }
  return left;
}

HRESULT STDMETHODCALLTYPE QueryObject(ComObject* self, REFIID id, void** object) {
  if (object == nullptr) return E_POINTER;
  const bool settings3 = self->kind == kSettings && !state().oldRuntime &&
                         IsEqualIID(id, ToIid(sdk::iid::ICoreWebView2Settings3));
  if (IsEqualIID(id, IID_IUnknown) || settings3) {
    *object = self;
    AddRefObject(self);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

// A handler of the launcher, held as the runtime holds one.
class Handler {
 public:
  Handler() = default;
  explicit Handler(IUnknown* handler) : handler_(handler) {
    if (handler_ != nullptr) handler_->AddRef();
  }
  Handler(const Handler& other) : Handler(other.handler_) {}
  Handler& operator=(Handler other) {
    std::swap(handler_, other.handler_);
    return *this;
  }
  ~Handler() {
    if (handler_ != nullptr) handler_->Release();
  }

  // Calls the handler's Invoke (slot 3) after asking it for its SDK interface `iid`, as the
  // runtime knows it.
  template <typename... Args>
  void Invoke(const char* interfaceName, const sdk::Guid& iid, Args... args) const {
    void* asked = nullptr;
    if (handler_ == nullptr || FAILED(handler_->QueryInterface(ToIid(iid), &asked)) ||
        asked == nullptr) {
      Wrong(std::string(interfaceName) + " handler does not answer for its interface");
      return;
    }
    auto* object = static_cast<IUnknown*>(asked);
    using InvokeMethod = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, Args...);
    const auto invoke = reinterpret_cast<InvokeMethod>((*reinterpret_cast<Method**>(object))[3]);
    Called(interfaceName, 3);
    invoke(object, args...);
    object->Release();
  }

 private:
  IUnknown* handler_ = nullptr;
};

#define FAKE_INVOKE(handler, interface, ...) \
  (handler).Invoke(#interface, sdk::iid::interface __VA_OPT__(, ) __VA_ARGS__)

void CALLBACK RunTimer(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  const auto found = state().timers.find(id);
  if (found == state().timers.end()) return;
  std::function<void()> action = std::move(found->second);
  state().timers.erase(found);
  action();
}

// Runs `action` from the caller's message loop, as the runtime completes its asynchronous calls;
// `handler` stays held until then.
void Later(const Handler& handler, std::function<void(const Handler&)> action) {
  ++state().timerHandlers;
  const UINT_PTR id = SetTimer(nullptr, 0, 0, RunTimer);
  state().timers[id] = [handler, action] {
    --state().timerHandlers;
    action(handler);
  };
}

void Later(std::function<void()> action) {
  const UINT_PTR id = SetTimer(nullptr, 0, 0, RunTimer);
  state().timers[id] = std::move(action);
}

// ---- Tables -------------------------------------------------------------------------------------

// Where a call lands when the fake serves no method at that slot.
template <int K, int Slot>
HRESULT STDMETHODCALLTYPE WrongSlot(void*) {
  Wrong(std::string(kKindNames[K]) + " slot " + std::to_string(Slot));
  return E_NOTIMPL;
}

// The interface each served slot belongs to, as the SDK names it (a continuation interface such as
// ICoreWebView2Settings3 shares its object's table).
const char*& ServedInterface(int kind, int slotNumber) {
  static std::array<std::array<const char*, kTableSize>, kKindCount> names{};
  return names[static_cast<std::size_t>(kind)][static_cast<std::size_t>(slotNumber)];
}

// A served method: records the slot it was called at, then runs `Function`.
template <int K, int Slot, auto Function>
struct Served;
template <int K, int Slot, typename Result, typename... Args,
          Result(STDMETHODCALLTYPE* Function)(Args...)>
struct Served<K, Slot, Function> {
  static Result STDMETHODCALLTYPE Call(Args... args) {
    CheckThread();
    Called(ServedInterface(K, Slot), Slot);
    return Function(args...);
  }
};

using Table = std::array<Method, kTableSize>;

template <int K, std::size_t... Slots>
Table WrongTable(std::index_sequence<Slots...>) {
  return {reinterpret_cast<Method>(&WrongSlot<K, static_cast<int>(Slots)>)...};
}

template <int K>
Table NewTable() {
  Table table = WrongTable<K>(std::make_index_sequence<kTableSize>());
  table[0] = reinterpret_cast<Method>(&QueryObject);
  table[1] = reinterpret_cast<Method>(&AddRefObject);
  table[2] = reinterpret_cast<Method>(&ReleaseObject);
  return table;
}

// Puts `function` at the SDK's slot for interface::method in `table`.
#define FAKE_SERVE(table, kindValue, interface, method, function)           \
  do {                                                                      \
    ServedInterface(kindValue, slot::interface##_##method) = #interface;    \
    (table)[slot::interface##_##method] = reinterpret_cast<Method>(         \
        &Served<kindValue, slot::interface##_##method, &(function)>::Call); \
  } while (false)

// ---- Settings -----------------------------------------------------------------------------------

HRESULT Setting(const char* name, BOOL value) {
  state().settings[name] = value ? 1 : 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PutWebMessages(ComObject*, BOOL on) {
  return Setting("IsWebMessageEnabled", on);
}
HRESULT STDMETHODCALLTYPE PutStatusBar(ComObject*, BOOL on) {
  return Setting("IsStatusBarEnabled", on);
}
HRESULT STDMETHODCALLTYPE PutDevTools(ComObject*, BOOL on) {
  state().devTools = on;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE PutContextMenus(ComObject*, BOOL on) {
  return Setting("AreDefaultContextMenusEnabled", on);
}
HRESULT STDMETHODCALLTYPE PutZoomControl(ComObject*, BOOL on) {
  return Setting("IsZoomControlEnabled", on);
}
HRESULT STDMETHODCALLTYPE PutBrowserKeys(ComObject*, BOOL on) {
  if (state().oldRuntime) Wrong("ICoreWebView2Settings3 used on a runtime without it");
  return Setting("AreBrowserAcceleratorKeysEnabled", on);
}

const Method* SettingsTable() {
  static const Table table = [] {
    Table t = NewTable<kSettings>();
    FAKE_SERVE(t, kSettings, ICoreWebView2Settings, put_IsWebMessageEnabled, PutWebMessages);
    FAKE_SERVE(t, kSettings, ICoreWebView2Settings, put_IsStatusBarEnabled, PutStatusBar);
    FAKE_SERVE(t, kSettings, ICoreWebView2Settings, put_AreDevToolsEnabled, PutDevTools);
    FAKE_SERVE(t, kSettings, ICoreWebView2Settings, put_AreDefaultContextMenusEnabled,
               PutContextMenus);
    FAKE_SERVE(t, kSettings, ICoreWebView2Settings, put_IsZoomControlEnabled, PutZoomControl);
    FAKE_SERVE(t, kSettings, ICoreWebView2Settings3, put_AreBrowserAcceleratorKeysEnabled,
               PutBrowserKeys);
    return t;
  }();
  return table.data();
}

// ---- Event arguments ----------------------------------------------------------------------------

struct MessageArgs : ComObject {
  std::wstring json;
  std::wstring source;
};

HRESULT STDMETHODCALLTYPE MessageSource(MessageArgs* self, LPWSTR* source) {
  *source = TaskMemoryCopy(self->source);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE MessageJson(MessageArgs* self, LPWSTR* json) {
  *json = TaskMemoryCopy(self->json);
  return S_OK;
}

const Method* MessageArgsTable() {
  static const Table table = [] {
    Table t = NewTable<kMessageArgs>();
    FAKE_SERVE(t, kMessageArgs, ICoreWebView2WebMessageReceivedEventArgs, get_Source,
               MessageSource);
    FAKE_SERVE(t, kMessageArgs, ICoreWebView2WebMessageReceivedEventArgs, get_WebMessageAsJson,
               MessageJson);
    return t;
  }();
  return table.data();
}

struct FailureArgs : ComObject {
  int failure = 0;
};

HRESULT STDMETHODCALLTYPE FailureKind(FailureArgs* self, int* kind) {
  *kind = self->failure;
  return S_OK;
}

const Method* FailureArgsTable() {
  static const Table table = [] {
    Table t = NewTable<kFailureArgs>();
    FAKE_SERVE(t, kFailureArgs, ICoreWebView2ProcessFailedEventArgs, get_ProcessFailedKind,
               FailureKind);
    return t;
  }();
  return table.data();
}

struct NavigationArgs : ComObject {
  std::wstring uri;
  BOOL userInitiated = FALSE;
  BOOL cancel = FALSE;
};

HRESULT STDMETHODCALLTYPE NavigationUri(NavigationArgs* self, LPWSTR* uri) {
  *uri = TaskMemoryCopy(self->uri);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE NavigationCancel(NavigationArgs* self, BOOL cancel) {
  self->cancel = cancel;
  return S_OK;
}

const Method* NavigationArgsTable() {
  static const Table table = [] {
    Table t = NewTable<kNavigationArgs>();
    FAKE_SERVE(t, kNavigationArgs, ICoreWebView2NavigationStartingEventArgs, get_Uri,
               NavigationUri);
    FAKE_SERVE(t, kNavigationArgs, ICoreWebView2NavigationStartingEventArgs, put_Cancel,
               NavigationCancel);
    return t;
  }();
  return table.data();
}

struct NewWindowArgs : ComObject {
  std::wstring uri;
  BOOL userInitiated = FALSE;
  BOOL handled = FALSE;
};

HRESULT STDMETHODCALLTYPE NewWindowUri(NewWindowArgs* self, LPWSTR* uri) {
  *uri = TaskMemoryCopy(self->uri);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE NewWindowHandled(NewWindowArgs* self, BOOL handled) {
  self->handled = handled;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE NewWindowByUser(NewWindowArgs* self, BOOL* user) {
  *user = self->userInitiated;
  return S_OK;
}

const Method* NewWindowArgsTable() {
  static const Table table = [] {
    Table t = NewTable<kNewWindowArgs>();
    FAKE_SERVE(t, kNewWindowArgs, ICoreWebView2NewWindowRequestedEventArgs, get_Uri, NewWindowUri);
    FAKE_SERVE(t, kNewWindowArgs, ICoreWebView2NewWindowRequestedEventArgs, put_Handled,
               NewWindowHandled);
    FAKE_SERVE(t, kNewWindowArgs, ICoreWebView2NewWindowRequestedEventArgs, get_IsUserInitiated,
               NewWindowByUser);
    return t;
  }();
  return table.data();
}

const Method* ContentArgsTable() {
  static const Table table = NewTable<kContentArgs>();
  return table.data();
}

// ---- The view -----------------------------------------------------------------------------------

struct View : ComObject {
  std::vector<Handler> messageHandlers;
  std::vector<Handler> failureHandlers;
  std::vector<Handler> navigationHandlers;
  std::vector<Handler> contentHandlers;
  std::vector<Handler> newWindowHandlers;

  int HeldHandlers() const {
    return static_cast<int>(messageHandlers.size() + failureHandlers.size() +
                            navigationHandlers.size() + contentHandlers.size() +
                            newWindowHandlers.size());
  }
  void DropHandlers() {
    messageHandlers.clear();
    failureHandlers.clear();
    navigationHandlers.clear();
    contentHandlers.clear();
    newWindowHandlers.clear();
  }
};

View* CurrentView() {
  return static_cast<View*>(state().view);
}

// The new top-level document is in place: ContentLoading.
void ShowDocument(const std::wstring& source) {
  View* view = CurrentView();
  if (view == nullptr) return;
  state().source = source;
  ComObject* args = New<ComObject>(kContentArgs, ContentArgsTable());
  for (const Handler& handler : std::vector<Handler>(view->contentHandlers))
    FAKE_INVOKE(handler, ICoreWebView2ContentLoadingEventHandler, view, args);
  ReleaseObject(args);
}

// NavigationStarting for `uri`; true when a handler cancelled it.
bool StartNavigation(const std::wstring& uri, BOOL userInitiated) {
  View* view = CurrentView();
  auto* args = New<NavigationArgs>(kNavigationArgs, NavigationArgsTable());
  args->uri = uri;
  args->userInitiated = userInitiated;
  for (const Handler& handler : std::vector<Handler>(view->navigationHandlers))
    FAKE_INVOKE(handler, ICoreWebView2NavigationStartingEventHandler, view, args);
  const bool cancelled = args->cancel != FALSE;
  ReleaseObject(args);
  return cancelled;
}

HRESULT STDMETHODCALLTYPE GetSettings(View*, ComObject** settings) {
  *settings = New<ComObject>(kSettings, SettingsTable());
  return S_OK;
}
HRESULT STDMETHODCALLTYPE GetSource(View*, LPWSTR* uri) {
  *uri = TaskMemoryCopy(state().source);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE NavigateToString(View*, LPCWSTR html) {
  state().texts[kFakeNavigatedHtml].emplace_back(html);
  state().scriptsPendingAtNavigation = state().scriptsPending;
  Later([] {
    if (CurrentView() != nullptr && !StartNavigation(kPageNavigationUri, TRUE)) {
      ShowDocument(kPageSource);
    }
  });
  return S_OK;
}

HRESULT Add(std::vector<Handler>& handlers, IUnknown* handler, EventRegistrationToken* token) {
  handlers.emplace_back(handler);
  token->value = static_cast<__int64>(handlers.size());
  return S_OK;
}

HRESULT STDMETHODCALLTYPE AddNavigationStarting(View* self, IUnknown* handler,
                                                EventRegistrationToken* token) {
  return Add(self->navigationHandlers, handler, token);
}
HRESULT STDMETHODCALLTYPE AddContentLoading(View* self, IUnknown* handler,
                                            EventRegistrationToken* token) {
  return Add(self->contentHandlers, handler, token);
}
HRESULT STDMETHODCALLTYPE AddProcessFailed(View* self, IUnknown* handler,
                                           EventRegistrationToken* token) {
  return Add(self->failureHandlers, handler, token);
}
HRESULT STDMETHODCALLTYPE AddWebMessageReceived(View* self, IUnknown* handler,
                                                EventRegistrationToken* token) {
  return Add(self->messageHandlers, handler, token);
}
HRESULT STDMETHODCALLTYPE AddNewWindowRequested(View* self, IUnknown* handler,
                                                EventRegistrationToken* token) {
  return Add(self->newWindowHandlers, handler, token);
}

HRESULT STDMETHODCALLTYPE AddDocumentScript(View*, LPCWSTR script, IUnknown* handler) {
  state().texts[kFakeDocumentScript].emplace_back(script);
  ++state().scriptsPending;
  Later(Handler(handler), [](const Handler& completed) {
    --state().scriptsPending;
    FAKE_INVOKE(completed, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler, S_OK,
                L"script-id");
  });
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ExecuteScript(View*, LPCWSTR script, IUnknown* handler) {
  state().texts[kFakeExecutedScript].emplace_back(script);
  if (handler != nullptr) {
    Later(Handler(handler), [](const Handler& completed) {
      FAKE_INVOKE(completed, ICoreWebView2ExecuteScriptCompletedHandler, S_OK, L"null");
    });
  }
  return S_OK;
}

const Method* ViewTable() {
  static const Table table = [] {
    Table t = NewTable<kView>();
    FAKE_SERVE(t, kView, ICoreWebView2, get_Settings, GetSettings);
    FAKE_SERVE(t, kView, ICoreWebView2, get_Source, GetSource);
    FAKE_SERVE(t, kView, ICoreWebView2, NavigateToString, NavigateToString);
    FAKE_SERVE(t, kView, ICoreWebView2, add_NavigationStarting, AddNavigationStarting);
    FAKE_SERVE(t, kView, ICoreWebView2, add_ContentLoading, AddContentLoading);
    FAKE_SERVE(t, kView, ICoreWebView2, add_ProcessFailed, AddProcessFailed);
    FAKE_SERVE(t, kView, ICoreWebView2, AddScriptToExecuteOnDocumentCreated, AddDocumentScript);
    FAKE_SERVE(t, kView, ICoreWebView2, ExecuteScript, ExecuteScript);
    FAKE_SERVE(t, kView, ICoreWebView2, add_WebMessageReceived, AddWebMessageReceived);
    FAKE_SERVE(t, kView, ICoreWebView2, add_NewWindowRequested, AddNewWindowRequested);
    return t;
  }();
  return table.data();
}

// ---- The controller -----------------------------------------------------------------------------

struct Controller : ComObject {
  View* view = nullptr;  // holds one reference
};

HRESULT STDMETHODCALLTYPE PutVisible(Controller*, BOOL visible) {
  state().visible = visible;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE PutBounds(Controller*, RECT bounds) {
  state().bounds = bounds;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE MoveFocus(Controller*, int) {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE ParentMoved(Controller*) {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE CloseController(Controller* self) {
  state().closed = TRUE;
  self->view->DropHandlers();  // a closed view raises no more events
  return S_OK;
}
HRESULT STDMETHODCALLTYPE GetView(Controller* self, ComObject** view) {
  AddRefObject(self->view);
  *view = self->view;
  return S_OK;
}

const Method* ControllerTable() {
  static const Table table = [] {
    Table t = NewTable<kController>();
    FAKE_SERVE(t, kController, ICoreWebView2Controller, put_IsVisible, PutVisible);
    FAKE_SERVE(t, kController, ICoreWebView2Controller, put_Bounds, PutBounds);
    FAKE_SERVE(t, kController, ICoreWebView2Controller, MoveFocus, MoveFocus);
    FAKE_SERVE(t, kController, ICoreWebView2Controller, NotifyParentWindowPositionChanged,
               ParentMoved);
    FAKE_SERVE(t, kController, ICoreWebView2Controller, Close, CloseController);
    FAKE_SERVE(t, kController, ICoreWebView2Controller, get_CoreWebView2, GetView);
    return t;
  }();
  return table.data();
}

Controller* NewController() {
  auto* controller = New<Controller>(kController, ControllerTable());
  View* view = New<View>(kView, ViewTable());
  view->destroy = [](ComObject* done) {
    if (state().view == done) state().view = nullptr;
    delete static_cast<View*>(done);
  };
  state().view = view;
  controller->view = view;
  controller->destroy = [](ComObject* done) {
    auto* self = static_cast<Controller*>(done);
    ReleaseObject(self->view);
    delete self;
  };
  return controller;
}

// ---- The environment ----------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CreateController(ComObject*, HWND parent, IUnknown* handler) {
  state().parent = parent;
  Later(Handler(handler), [](const Handler& completed) {
    if (FAILED(state().controllerResult)) {
      FAKE_INVOKE(completed, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,
                  state().controllerResult, static_cast<ComObject*>(nullptr));
      return;
    }
    Controller* controller = NewController();
    FAKE_INVOKE(completed, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, S_OK,
                static_cast<ComObject*>(controller));
    ReleaseObject(controller);
  });
  return S_OK;
}

HRESULT STDMETHODCALLTYPE BrowserVersion(ComObject*, LPWSTR* version) {
  *version = TaskMemoryCopy(state().oldRuntime ? L"90.0.818.66" : L"120.0.2210.91");
  return S_OK;
}

const Method* EnvironmentTable() {
  static const Table table = [] {
    Table t = NewTable<kEnvironment>();
    FAKE_SERVE(t, kEnvironment, ICoreWebView2Environment, CreateCoreWebView2Controller,
               CreateController);
    FAKE_SERVE(t, kEnvironment, ICoreWebView2Environment, get_BrowserVersionString, BrowserVersion);
    return t;
  }();
  return table.data();
}

bool OldRuntimeAsked() {
  wchar_t value[16] = {};
  const DWORD length =
      GetEnvironmentVariableW(L"VELMORA_FAKE_WEBVIEW2_RUNTIME", value, std::size(value));
  return length > 0 && length < std::size(value) && std::wstring(value) == L"old";
}

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
    CreateCoreWebView2EnvironmentWithOptions(LPCWSTR, LPCWSTR userDataFolder, IUnknown*,
                                             IUnknown* handler) {
  state().thread = GetCurrentThreadId();
  if (OldRuntimeAsked()) state().oldRuntime = true;
  state().texts[kFakeUserDataFolder].emplace_back(userDataFolder != nullptr ? userDataFolder : L"");
  if (FAILED(state().createResult)) return state().createResult;
  Later(Handler(handler), [](const Handler& completed) {
    if (FAILED(state().environmentResult)) {
      FAKE_INVOKE(completed, ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
                  state().environmentResult, static_cast<ComObject*>(nullptr));
      return;
    }
    ComObject* environment = New<ComObject>(kEnvironment, EnvironmentTable());
    FAKE_INVOKE(completed, ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, S_OK,
                environment);
    ReleaseObject(environment);
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
  current.oldRuntime = false;
  current.parent = nullptr;
  current.bounds = {};
  current.visible = FALSE;
  current.devTools = FALSE;
  current.closed = FALSE;
  current.settings.clear();
  current.callerThreadOnly = TRUE;
  current.source.clear();
  current.scriptsPendingAtNavigation = -1;
  current.slotCalls.clear();
  current.wrongCalls.clear();
}

FAKE_WEBVIEW2_API void FakeWebView2SetOldRuntime(BOOL old) {
  state().oldRuntime = old != FALSE;
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
  const int events = CurrentView() != nullptr ? CurrentView()->HeldHandlers() : 0;
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

FAKE_WEBVIEW2_API int FakeWebView2Setting(const char* name) {
  const auto found = state().settings.find(name);
  return found != state().settings.end() ? found->second : -1;
}

FAKE_WEBVIEW2_API BOOL FakeWebView2CallsOnStartingThread() {
  return state().callerThreadOnly;
}

FAKE_WEBVIEW2_API int FakeWebView2ScriptsPendingAtNavigation() {
  return state().scriptsPendingAtNavigation;
}

FAKE_WEBVIEW2_API int FakeWebView2SlotCalls(const char* interfaceName, int slotNumber) {
  const auto found = state().slotCalls.find({interfaceName, slotNumber});
  return found != state().slotCalls.end() ? found->second : 0;
}

FAKE_WEBVIEW2_API int FakeWebView2WrongCallCount() {
  return static_cast<int>(state().wrongCalls.size());
}

FAKE_WEBVIEW2_API const char* FakeWebView2WrongCall(int index) {
  return state().wrongCalls.at(static_cast<size_t>(index)).c_str();
}

FAKE_WEBVIEW2_API const wchar_t* FakeWebView2DocumentSource() {
  return state().source.c_str();
}

FAKE_WEBVIEW2_API BOOL FakeWebView2PostWebMessageFrom(const wchar_t* json, const wchar_t* source) {
  View* view = CurrentView();
  if (view == nullptr || view->messageHandlers.empty()) return FALSE;
  auto* args = New<MessageArgs>(kMessageArgs, MessageArgsTable());
  args->json = json;
  args->source = source;
  for (const Handler& handler : std::vector<Handler>(view->messageHandlers))
    FAKE_INVOKE(handler, ICoreWebView2WebMessageReceivedEventHandler, view, args);
  ReleaseObject(args);
  return TRUE;
}

FAKE_WEBVIEW2_API BOOL FakeWebView2PostWebMessage(const wchar_t* json) {
  return FakeWebView2PostWebMessageFrom(json, state().source.c_str());
}

FAKE_WEBVIEW2_API int FakeWebView2Navigate(const wchar_t* uri, BOOL userInitiated) {
  View* view = CurrentView();
  if (view == nullptr || view->navigationHandlers.empty()) return -1;
  if (StartNavigation(uri, userInitiated)) return 1;
  const std::wstring source = uri;
  Later([source] { ShowDocument(source); });
  return 0;
}

FAKE_WEBVIEW2_API int FakeWebView2RequestNewWindow(const wchar_t* uri, BOOL userInitiated) {
  View* view = CurrentView();
  if (view == nullptr || view->newWindowHandlers.empty()) return -1;
  auto* args = New<NewWindowArgs>(kNewWindowArgs, NewWindowArgsTable());
  args->uri = uri;
  args->userInitiated = userInitiated;
  for (const Handler& handler : std::vector<Handler>(view->newWindowHandlers))
    FAKE_INVOKE(handler, ICoreWebView2NewWindowRequestedEventHandler, view, args);
  const int handled = args->handled != FALSE ? 1 : 0;
  ReleaseObject(args);
  return handled;
}

FAKE_WEBVIEW2_API BOOL FakeWebView2ShowDocument(const wchar_t* uri) {
  View* view = CurrentView();
  if (view == nullptr || view->contentHandlers.empty()) return FALSE;
  ShowDocument(uri);
  return TRUE;
}

FAKE_WEBVIEW2_API BOOL FakeWebView2FailProcess(int kind) {
  View* view = CurrentView();
  if (view == nullptr || view->failureHandlers.empty()) return FALSE;
  auto* args = New<FailureArgs>(kFailureArgs, FailureArgsTable());
  args->failure = kind;
  for (const Handler& handler : std::vector<Handler>(view->failureHandlers))
    FAKE_INVOKE(handler, ICoreWebView2ProcessFailedEventHandler, view, args);
  ReleaseObject(args);
  return TRUE;
}
