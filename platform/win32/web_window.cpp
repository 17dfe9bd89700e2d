// The web window on Windows: a top-level window of its own class hosting a WebView2 browser view.
//
// WebView2Loader.dll is loaded at run time (webview2_engine.cpp); without it or without the
// WebView2 runtime, Create fails with the reason. Bound functions travel as web messages: the
// page posts each call, the window queues it and runs it from its own message loop (never inside
// the runtime's event callback), one at a time, then settles the page's promise with a script.

#include <windows.h>
// after windows.h, which it needs
#include <bcrypt.h>

#include <cstdio>
#include <deque>
#include <exception>
#include <map>
#include <memory>

#include "common/text.h"
#include "log/log.h"
#include "platform/web_window.h"
#include "platform/win32/binding_bridge.h"
#include "platform/win32/com_callback.h"
#include "platform/win32/drag_region_script.h"
#include "platform/win32/message_pump.h"
#include "platform/win32/webview2_engine.h"

namespace platform {

namespace {

namespace wv = webview2;
using wv::ComPtr;

using MessageReceived =
    wv::Callback<wv::ICoreWebView2WebMessageReceivedEventHandler, wv::ICoreWebView2*,
                 wv::ICoreWebView2WebMessageReceivedEventArgs*>;
using ProcessFailed = wv::Callback<wv::ICoreWebView2ProcessFailedEventHandler, wv::ICoreWebView2*,
                                   wv::ICoreWebView2ProcessFailedEventArgs*>;
using ScriptAdded =
    wv::Callback<wv::ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler, HRESULT,
                 LPCWSTR>;
using ScriptRan = wv::Callback<wv::ICoreWebView2ExecuteScriptCompletedHandler, HRESULT, LPCWSTR>;

constexpr wchar_t kWindowClass[] = L"VelmoraWebWindow";
constexpr int kApplicationIconId = 101;
constexpr UINT kRunCallsMessage = WM_APP + 1;
constexpr UINT kStartDragMessage = WM_APP + 2;
// How long SetHtml waits for the runtime to take the injected scripts.
constexpr DWORD kScriptsTimeoutMs = 10000;

// 128 random bits as hex text; empty if the system's generator fails.
std::string RandomToken() {
  unsigned char bytes[16];
  if (!BCRYPT_SUCCESS(
          BCryptGenRandom(nullptr, bytes, sizeof(bytes), BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
    return {};
  }
  std::string token;
  for (unsigned char byte : bytes) {
    char pair[3];
    std::snprintf(pair, sizeof(pair), "%02x", byte);
    token += pair;
  }
  return token;
}

// The page is laid out in device pixels, like the window: the system must not scale the window
// as a bitmap. Per-monitor awareness where the system has it (Windows 10), else system-wide.
void MakeProcessDpiAware() {
  using SetContext = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
  const auto setContext = reinterpret_cast<SetContext>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
  if (setContext != nullptr && setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) return;
  SetProcessDPIAware();
}

bool RegisterWindowClass(WNDPROC procedure) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(instance, kWindowClass, &existing)) return true;
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kApplicationIconId));
  if (windowClass.hIcon == nullptr) windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = kWindowClass;
  return RegisterClassExW(&windowClass) != 0;
}

// The outer size of a window with `window`'s current styles whose client area is width x height.
SIZE OuterSize(HWND window, int width, int height) {
  RECT rect{0, 0, width, height};
  AdjustWindowRectEx(&rect, static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)));
  return {rect.right - rect.left, rect.bottom - rect.top};
}

}  // namespace

class WebWindow::Impl {
 public:
  Impl() = default;
  ~Impl();
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  bool Start(bool debug, std::string& error);
  HWND window() const { return window_; }
  void SetSize(int width, int height, SizeHint hint);
  void Bind(const std::string& name, Binding function);
  void SetHtml(const std::string& html);
  void Run();

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  bool CreateNativeWindow(std::string& error);
  bool ConfigureView(bool debug, std::string& error);
  void AddPageScript(const std::string& script);
  void OnPageMessage(wv::ICoreWebView2WebMessageReceivedEventArgs* args);
  void OnProcessFailed(wv::ICoreWebView2ProcessFailedEventArgs* args);
  void RunQueuedCalls();
  void Answer(const wv::BindingCall& call);
  void RunScript(const std::string& script);
  void StartDrag();
  void FitViewToWindow();
  void LimitTrackingSize(MINMAXINFO& limits) const;
  void CloseView();

  // The runtime's handlers reach this object through `self_`, which is cleared when it goes, so
  // a late event never touches a destroyed window.
  std::shared_ptr<Impl*> self_ = std::make_shared<Impl*>(this);
  std::string token_;
  bool comStarted_ = false;
  HMODULE loader_ = nullptr;  // kept loaded for the process's life: the runtime's objects use it
  HWND window_ = nullptr;
  wv::Engine engine_;
  ComPtr<wv::ICoreWebView2ExecuteScriptCompletedHandler> ignoreScriptResult_ =
      ScriptRan::Make(nullptr);
  std::shared_ptr<int> scriptsPending_ = std::make_shared<int>(0);
  std::map<std::string, Binding> bindings_;
  std::deque<wv::BindingCall> queue_;
  bool answering_ = false;
  SizeHint sizeHint_ = SizeHint::None;
  SIZE minimum_{};
  SIZE maximum_{};
};

WebWindow::Impl::~Impl() {
  *self_ = nullptr;
  if (window_ != nullptr) DestroyWindow(window_);  // WM_DESTROY closes the view
  CloseView();
  if (comStarted_) CoUninitialize();
}

bool WebWindow::Impl::Start(bool debug, std::string& error) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(com)) {
    error = "COM cannot be used on this thread";
    return false;
  }
  comStarted_ = true;
  token_ = RandomToken();
  if (token_.empty()) {
    error = "the system's random number generator failed";
    return false;
  }
  MakeProcessDpiAware();
  loader_ = wv::LoadLoader(error);
  if (loader_ == nullptr || !CreateNativeWindow(error)) return false;
  if (!wv::StartEngine(loader_, window_, engine_, error)) return false;
  return ConfigureView(debug, error);
}

bool WebWindow::Impl::CreateNativeWindow(std::string& error) {
  if (!RegisterWindowClass(WindowProcedure)) {
    error = "cannot register the window class (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  // Created hidden: Run shows it once the caller has styled and placed it.
  CreateWindowExW(0, kWindowClass, L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 800, 600,
                  nullptr, nullptr, GetModuleHandleW(nullptr), this);
  if (window_ == nullptr) {
    error = "cannot create the window (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  return true;
}

bool WebWindow::Impl::ConfigureView(bool debug, std::string& error) {
  ComPtr<wv::ICoreWebView2Settings> settings;
  if (SUCCEEDED(engine_.webview->get_Settings(settings.Receive())) && settings != nullptr) {
    settings->put_AreDevToolsEnabled(debug ? TRUE : FALSE);
    settings->put_IsWebMessageEnabled(TRUE);
  }
  std::shared_ptr<Impl*> self = self_;
  wv::EventRegistrationToken registration{};
  const HRESULT listening = engine_.webview->add_WebMessageReceived(
      MessageReceived::Make([self](wv::ICoreWebView2*,
                                   wv::ICoreWebView2WebMessageReceivedEventArgs* args) {
        if (*self != nullptr && args != nullptr) (*self)->OnPageMessage(args);
        return S_OK;
      }).Get(),
      &registration);
  if (FAILED(listening)) {
    error = "the WebView2 browser view takes no messages from the page";
    return false;
  }
  engine_.webview->add_ProcessFailed(
      ProcessFailed::Make([self](wv::ICoreWebView2*,
                                 wv::ICoreWebView2ProcessFailedEventArgs* args) {
        if (*self != nullptr && args != nullptr) (*self)->OnProcessFailed(args);
        return S_OK;
      }).Get(),
      &registration);
  FitViewToWindow();
  engine_.controller->put_IsVisible(TRUE);
  AddPageScript(wv::BridgeScript(token_));
  AddPageScript(wv::DragRegionScript(token_));
  return true;
}

void WebWindow::Impl::AddPageScript(const std::string& script) {
  if (engine_.webview == nullptr) return;
  std::shared_ptr<int> pending = scriptsPending_;
  const HRESULT added = engine_.webview->AddScriptToExecuteOnDocumentCreated(
      Utf8ToUtf16(script.c_str()).c_str(), ScriptAdded::Make([pending](HRESULT result, LPCWSTR) {
                                             --*pending;
                                             if (FAILED(result)) {
                                               LogErrorAs("WebWindow",
                                                          "Page script refused (0x%08lX)",
                                                          static_cast<unsigned long>(result));
                                             }
                                             return S_OK;
                                           }).Get());
  if (SUCCEEDED(added)) ++*pending;
}

void WebWindow::Impl::SetSize(int width, int height, SizeHint hint) {
  if (window_ == nullptr) return;
  sizeHint_ = hint;
  if (hint == SizeHint::Min) minimum_ = OuterSize(window_, width, height);
  if (hint == SizeHint::Max) maximum_ = OuterSize(window_, width, height);
  if (hint == SizeHint::Min || hint == SizeHint::Max) return;
  LONG style = GetWindowLongW(window_, GWL_STYLE);
  const LONG resizing = WS_THICKFRAME | WS_MAXIMIZEBOX;
  if (hint == SizeHint::Fixed) {
    style &= ~resizing;
  } else if ((style & WS_CAPTION) == WS_CAPTION) {
    style |= resizing;  // a borderless window stays borderless
  }
  SetWindowLongW(window_, GWL_STYLE, style);
  const SIZE outer = OuterSize(window_, width, height);
  if (hint == SizeHint::Fixed) minimum_ = maximum_ = outer;
  SetWindowPos(window_, nullptr, 0, 0, outer.cx, outer.cy,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void WebWindow::Impl::Bind(const std::string& name, Binding function) {
  const bool added = bindings_.find(name) == bindings_.end();
  bindings_[name] = std::move(function);
  if (added) AddPageScript(wv::BindingScript(name));
}

void WebWindow::Impl::SetHtml(const std::string& html) {
  if (engine_.webview == nullptr) return;
  // Scripts are taken asynchronously; a page loaded before they are in place would start
  // without its bound functions.
  const std::shared_ptr<int> pending = scriptsPending_;
  if (wv::PumpMessagesUntil([&pending] { return *pending <= 0; }, kScriptsTimeoutMs) !=
      wv::PumpResult::Done) {
    LogErrorAs("WebWindow", "Page scripts not ready; loading the page anyway");
  }
  if (engine_.webview == nullptr) return;  // the window went away meanwhile
  const HRESULT loaded = engine_.webview->NavigateToString(Utf8ToUtf16(html.c_str()).c_str());
  if (FAILED(loaded)) {
    LogErrorAs("WebWindow", "Page not loaded (0x%08lX)", static_cast<unsigned long>(loaded));
  }
}

void WebWindow::Impl::Run() {
  if (window_ == nullptr) return;
  ShowWindow(window_, SW_SHOW);
  UpdateWindow(window_);
  MSG message;
  while (window_ != nullptr && GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

LRESULT CALLBACK WebWindow::Impl::WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                                  LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Impl*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Impl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
}

LRESULT WebWindow::Impl::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND window = window_;
  switch (message) {
    case kRunCallsMessage:
      RunQueuedCalls();
      return 0;
    case kStartDragMessage:
      StartDrag();
      return 0;
    case WM_SIZE:
      FitViewToWindow();
      break;
    case WM_MOVE:
      if (engine_.controller != nullptr) engine_.controller->NotifyParentWindowPositionChanged();
      break;
    case WM_SETFOCUS:
      if (engine_.controller != nullptr) engine_.controller->MoveFocus(0);  // programmatic
      break;
    case WM_GETMINMAXINFO:
      LimitTrackingSize(*reinterpret_cast<MINMAXINFO*>(lParam));
      return 0;
    case WM_DESTROY:
      CloseView();
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      window_ = nullptr;  // ends Run's loop; no WM_QUIT that a later loop of the thread could meet
      queue_.clear();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void WebWindow::Impl::OnPageMessage(wv::ICoreWebView2WebMessageReceivedEventArgs* args) {
  LPWSTR json = nullptr;
  if (FAILED(args->get_WebMessageAsJson(&json)) || json == nullptr) return;
  const std::string text = Utf16ToUtf8(json);
  CoTaskMemFree(json);
  std::optional<wv::PageMessage> message = wv::ParsePageMessage(text, token_);
  if (!message || window_ == nullptr) return;
  if (message->kind == wv::PageMessage::Kind::Drag) {
    PostMessageW(window_, kStartDragMessage, 0, 0);
    return;
  }
  queue_.push_back(std::move(message->call));
  PostMessageW(window_, kRunCallsMessage, 0, 0);
}

void WebWindow::Impl::OnProcessFailed(wv::ICoreWebView2ProcessFailedEventArgs* args) {
  int kind = -1;
  args->get_ProcessFailedKind(&kind);
  if (kind != wv::kBrowserProcessExited && kind != wv::kRenderProcessExited) return;
  LogErrorAs("WebWindow", "Web page process ended unexpectedly (reason %d)", kind);
  // A window without its page cannot even be closed by the player: close it.
  if (window_ != nullptr) PostMessageW(window_, WM_CLOSE, 0, 0);
}

void WebWindow::Impl::RunQueuedCalls() {
  // A call made while another runs (from a dialog's nested loop) waits for it.
  if (answering_) return;
  answering_ = true;
  while (!queue_.empty()) {
    const wv::BindingCall call = std::move(queue_.front());
    queue_.pop_front();
    Answer(call);
  }
  answering_ = false;
}

void WebWindow::Impl::Answer(const wv::BindingCall& call) {
  const auto binding = bindings_.find(call.name);
  if (binding == bindings_.end()) {
    RunScript(wv::RejectScript(call.id, "Not a bound function"));
    return;
  }
  std::string failure;
  try {
    const std::string reply = binding->second(call.request);
    RunScript(wv::ResolveScript(call.id, reply));
    return;
  } catch (const std::exception& exception) {
    failure = exception.what();
  } catch (...) {
    failure = "unknown error";
  }
  LogErrorAs("WebWindow", "Bound function %s failed: %s", call.name.c_str(), failure.c_str());
  RunScript(wv::RejectScript(call.id, failure));
}

void WebWindow::Impl::RunScript(const std::string& script) {
  if (engine_.webview == nullptr) return;
  engine_.webview->ExecuteScript(Utf8ToUtf16(script.c_str()).c_str(), ignoreScriptResult_.Get());
}

void WebWindow::Impl::StartDrag() {
  if (window_ == nullptr) return;
  // The request comes after the press; if the button is already up, a move started now would
  // follow the pointer with nothing to end it.
  const int button = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
  if ((GetAsyncKeyState(button) & 0x8000) == 0) return;
  POINT cursor{};
  GetCursorPos(&cursor);
  ReleaseCapture();  // the browser view holds the mouse since the press
  // The system's own move loop, as for a press on a caption; it ends with the button's release.
  SendMessageW(window_, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(cursor.x, cursor.y));
}

void WebWindow::Impl::FitViewToWindow() {
  if (engine_.controller == nullptr || window_ == nullptr) return;
  RECT client{};
  GetClientRect(window_, &client);
  engine_.controller->put_Bounds(client);
}

void WebWindow::Impl::LimitTrackingSize(MINMAXINFO& limits) const {
  if (minimum_.cx > 0 && minimum_.cy > 0) limits.ptMinTrackSize = {minimum_.cx, minimum_.cy};
  if (maximum_.cx > 0 && maximum_.cy > 0) {
    limits.ptMaxTrackSize = {maximum_.cx, maximum_.cy};
    limits.ptMaxSize = limits.ptMaxTrackSize;
  }
}

void WebWindow::Impl::CloseView() {
  if (engine_.controller != nullptr) engine_.controller->Close();
  engine_ = {};
}

WebWindow::WebWindow(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
WebWindow::~WebWindow() = default;

std::unique_ptr<WebWindow> WebWindow::Create(bool debug, std::string& error) {
  auto impl = std::make_unique<Impl>();
  if (!impl->Start(debug, error)) return nullptr;
  return std::unique_ptr<WebWindow>(new WebWindow(std::move(impl)));
}

NativeWindow WebWindow::Window() const {
  return impl_->window();
}

void WebWindow::SetTitle(const std::string& title) {
  if (HWND window = impl_->window()) SetWindowTextW(window, Utf8ToUtf16(title.c_str()).c_str());
}

void WebWindow::SetSize(int width, int height, SizeHint hint) {
  impl_->SetSize(width, height, hint);
}

void WebWindow::Bind(const std::string& name, Binding function) {
  impl_->Bind(name, std::move(function));
}

void WebWindow::SetHtml(const std::string& html) {
  impl_->SetHtml(html);
}

void WebWindow::Run() {
  impl_->Run();
}

}  // namespace platform
