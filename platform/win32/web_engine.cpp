// The web window's engine on Windows: a top-level window of its own class hosting a WebView2
// browser view.
//
// WebView2Loader.dll is loaded at run time (webview2_engine.cpp); without it or without the
// WebView2 runtime, the engine does not start and says why. The page posts web messages; calls are
// run from the window's own message loop, never inside the runtime's event callback. Top-level
// navigations (NavigationStarting) and new windows (NewWindowRequested, from the page and its
// frames) are put to the core before the runtime acts on them.

#include <windows.h>

#include <exception>
#include <memory>

#include "log/log.h"
#include "platform/text.h"
#include "platform/web_engine.h"
#include "platform/web_page_scripts.h"
#include "platform/win32/com_callback.h"
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
using NavigationStarting =
    wv::Callback<wv::ICoreWebView2NavigationStartingEventHandler, wv::ICoreWebView2*,
                 wv::ICoreWebView2NavigationStartingEventArgs*>;
using ContentLoading = wv::Callback<wv::ICoreWebView2ContentLoadingEventHandler, wv::ICoreWebView2*,
                                    wv::ICoreWebView2ContentLoadingEventArgs*>;
using NewWindowRequested =
    wv::Callback<wv::ICoreWebView2NewWindowRequestedEventHandler, wv::ICoreWebView2*,
                 wv::ICoreWebView2NewWindowRequestedEventArgs*>;

constexpr wchar_t kWindowClass[] = L"VelmoraWebWindow";
constexpr int kApplicationIconId = 101;
constexpr UINT kRunCallsMessage = WM_APP + 1;
constexpr UINT kStartDragMessage = WM_APP + 2;
// How long LoadHtml waits for the runtime to take the document scripts.
constexpr DWORD kScriptsTimeoutMs = 10000;

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

std::string TaskMemoryText(LPWSTR text) {
  std::string result = text != nullptr ? Utf16ToUtf8(text) : std::string();
  CoTaskMemFree(text);
  return result;
}

class WebView2Engine final : public WebEngine {
 public:
  explicit WebView2Engine(WebEngineEvents& events) : events_(events) {}
  ~WebView2Engine() override;
  WebView2Engine(const WebView2Engine&) = delete;
  WebView2Engine& operator=(const WebView2Engine&) = delete;

  bool Start(bool debug, std::string& error);

  NativeWindow Window() const override { return window_; }
  void SetTitle(const std::string& title) override;
  void SetSize(int width, int height, SizeHint hint) override;
  std::string PostFunction() const override { return web_page::kWebView2Post; }
  void AddDocumentScript(const std::string& script) override;
  void LoadHtml(const std::string& html) override;
  void RunScript(const std::string& script) override;
  // WebView2 trusts the system's store, as WinINet does: a Windows launcher is never built with
  // authorities of its own.
  void TrustAuthorityFor(const std::string&, const std::string&) override {}
  void ScheduleCalls() override;
  void StartDrag() override;
  void Run() override;

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  bool CreateNativeWindow(std::string& error);
  bool ConfigureView(bool debug, std::string& error);
  bool ListenToView();
  void OnPageMessage(wv::ICoreWebView2WebMessageReceivedEventArgs* args);
  void OnNavigationStarting(wv::ICoreWebView2NavigationStartingEventArgs* args);
  void OnContentLoading();
  void OnNewWindowRequested(wv::ICoreWebView2NewWindowRequestedEventArgs* args);
  void OnProcessFailed(wv::ICoreWebView2ProcessFailedEventArgs* args);
  void MoveWithPointer();
  void FitViewToWindow();
  void LimitTrackingSize(MINMAXINFO& limits) const;
  void CloseView();

  WebEngineEvents& events_;
  // The runtime's handlers reach this object through `self_`, which is cleared when it goes, so
  // a late event never touches a destroyed engine.
  std::shared_ptr<WebView2Engine*> self_ = std::make_shared<WebView2Engine*>(this);
  bool comStarted_ = false;
  HMODULE loader_ = nullptr;  // kept loaded for the process's life: the runtime's objects use it
  HWND window_ = nullptr;
  wv::Engine engine_;
  ComPtr<wv::ICoreWebView2ExecuteScriptCompletedHandler> ignoreScriptResult_ =
      ScriptRan::Make(nullptr);
  std::shared_ptr<int> scriptsPending_ = std::make_shared<int>(0);
  SIZE minimum_{};
  SIZE maximum_{};
};

WebView2Engine::~WebView2Engine() {
  *self_ = nullptr;
  if (window_ != nullptr) DestroyWindow(window_);  // WM_DESTROY closes the view
  CloseView();
  if (comStarted_) CoUninitialize();
}

bool WebView2Engine::Start(bool debug, std::string& error) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(com)) {
    error = "COM cannot be used on this thread";
    return false;
  }
  comStarted_ = true;
  // DPI awareness comes from the program's manifest (launcher/win32/launcher.manifest).
  loader_ = wv::LoadLoader(error);
  if (loader_ == nullptr || !CreateNativeWindow(error)) return false;
  if (!wv::StartEngine(loader_, window_, engine_, error)) return false;
  return ConfigureView(debug, error);
}

bool WebView2Engine::CreateNativeWindow(std::string& error) {
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

bool WebView2Engine::ConfigureView(bool debug, std::string& error) {
  if (!wv::ApplySettings(engine_, debug, error)) return false;
  if (!ListenToView()) {
    error = "the WebView2 browser view takes no messages from the page";
    return false;
  }
  FitViewToWindow();
  engine_.controller->put_IsVisible(TRUE);
  return true;
}

// Each handler reaches this engine through `self_`, so a late event finds it gone, not destroyed.
bool WebView2Engine::ListenToView() {
  std::shared_ptr<WebView2Engine*> self = self_;
  wv::EventRegistrationToken registration{};
  wv::ICoreWebView2* view = engine_.webview.Get();
  const HRESULT listening = view->add_WebMessageReceived(
      MessageReceived::Make([self](wv::ICoreWebView2*,
                                   wv::ICoreWebView2WebMessageReceivedEventArgs* args) {
        if (*self != nullptr && args != nullptr) (*self)->OnPageMessage(args);
        return S_OK;
      }).Get(),
      &registration);
  // Without these the page could leave the launcher: better no window than an uncontained one.
  const HRESULT navigating = view->add_NavigationStarting(
      NavigationStarting::Make([self](wv::ICoreWebView2*,
                                      wv::ICoreWebView2NavigationStartingEventArgs* args) {
        if (*self != nullptr && args != nullptr) (*self)->OnNavigationStarting(args);
        return S_OK;
      }).Get(),
      &registration);
  const HRESULT loading = view->add_ContentLoading(
      ContentLoading::Make([self](wv::ICoreWebView2*, wv::ICoreWebView2ContentLoadingEventArgs*) {
        if (*self != nullptr) (*self)->OnContentLoading();
        return S_OK;
      }).Get(),
      &registration);
  const HRESULT windows = view->add_NewWindowRequested(
      NewWindowRequested::Make([self](wv::ICoreWebView2*,
                                      wv::ICoreWebView2NewWindowRequestedEventArgs* args) {
        if (*self != nullptr && args != nullptr) (*self)->OnNewWindowRequested(args);
        return S_OK;
      }).Get(),
      &registration);
  view->add_ProcessFailed(
      ProcessFailed::Make([self](wv::ICoreWebView2*,
                                 wv::ICoreWebView2ProcessFailedEventArgs* args) {
        if (*self != nullptr && args != nullptr) (*self)->OnProcessFailed(args);
        return S_OK;
      }).Get(),
      &registration);
  return SUCCEEDED(listening) && SUCCEEDED(navigating) && SUCCEEDED(loading) && SUCCEEDED(windows);
}

void WebView2Engine::AddDocumentScript(const std::string& script) {
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

void WebView2Engine::SetTitle(const std::string& title) {
  if (window_ != nullptr) SetWindowTextW(window_, Utf8ToUtf16(title.c_str()).c_str());
}

void WebView2Engine::SetSize(int width, int height, SizeHint hint) {
  if (window_ == nullptr) return;
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

void WebView2Engine::LoadHtml(const std::string& html) {
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

void WebView2Engine::RunScript(const std::string& script) {
  if (engine_.webview == nullptr) return;
  engine_.webview->ExecuteScript(Utf8ToUtf16(script.c_str()).c_str(), ignoreScriptResult_.Get());
}

void WebView2Engine::ScheduleCalls() {
  if (window_ != nullptr) PostMessageW(window_, kRunCallsMessage, 0, 0);
}

void WebView2Engine::StartDrag() {
  // From the window's own loop: the move loop must not run inside the runtime's event.
  if (window_ != nullptr) PostMessageW(window_, kStartDragMessage, 0, 0);
}

void WebView2Engine::Run() {
  if (window_ == nullptr) return;
  ShowWindow(window_, SW_SHOW);
  UpdateWindow(window_);
  MSG message;
  while (window_ != nullptr && GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

LRESULT CALLBACK WebView2Engine::WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self =
        static_cast<WebView2Engine*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<WebView2Engine*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  // An exception must not unwind through the system's frames that called this procedure (on
  // 32-bit Windows it cannot, and the process would end): it is logged here instead.
  try {
    return self->Handle(message, wParam, lParam);
  } catch (const std::exception& failure) {
    LogErrorAs("WebWindow", "Window message 0x%04X failed: %s", message, failure.what());
  } catch (...) {
    LogErrorAs("WebWindow", "Window message 0x%04X failed", message);
  }
  return message >= WM_APP ? 0 : DefWindowProcW(window, message, wParam, lParam);
}

LRESULT WebView2Engine::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND window = window_;
  switch (message) {
    case kRunCallsMessage:
      events_.OnCallsScheduled();
      return 0;
    case kStartDragMessage:
      MoveWithPointer();
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
      events_.OnWindowClosed();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void WebView2Engine::OnPageMessage(wv::ICoreWebView2WebMessageReceivedEventArgs* args) {
  LPWSTR json = nullptr;
  if (FAILED(args->get_WebMessageAsJson(&json)) || json == nullptr) return;
  const std::string text = TaskMemoryText(json);
  LPWSTR source = nullptr;
  if (FAILED(args->get_Source(&source))) source = nullptr;
  events_.OnPageMessage(text, TaskMemoryText(source));
}

void WebView2Engine::OnNavigationStarting(wv::ICoreWebView2NavigationStartingEventArgs* args) {
  LPWSTR uri = nullptr;
  if (FAILED(args->get_Uri(&uri))) uri = nullptr;
  if (!events_.OnTopLevelNavigation(TaskMemoryText(uri))) args->put_Cancel(TRUE);
}

void WebView2Engine::OnContentLoading() {
  LPWSTR source = nullptr;
  if (engine_.webview == nullptr || FAILED(engine_.webview->get_Source(&source))) source = nullptr;
  events_.OnDocumentShown(TaskMemoryText(source));
}

void WebView2Engine::OnNewWindowRequested(wv::ICoreWebView2NewWindowRequestedEventArgs* args) {
  // Handled, with no new view given: the runtime opens no window of its own.
  args->put_Handled(TRUE);
  LPWSTR uri = nullptr;
  if (FAILED(args->get_Uri(&uri))) uri = nullptr;
  BOOL userInitiated = FALSE;
  if (FAILED(args->get_IsUserInitiated(&userInitiated))) userInitiated = FALSE;
  events_.OnNewWindowRequested(TaskMemoryText(uri), userInitiated != FALSE);
}

void WebView2Engine::OnProcessFailed(wv::ICoreWebView2ProcessFailedEventArgs* args) {
  int kind = -1;
  args->get_ProcessFailedKind(&kind);
  if (kind != wv::kBrowserProcessExited && kind != wv::kRenderProcessExited) return;
  events_.OnPageProcessEnded(kind);
  // A window without its page cannot even be closed by the player: close it.
  if (window_ != nullptr) PostMessageW(window_, WM_CLOSE, 0, 0);
}

void WebView2Engine::MoveWithPointer() {
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

void WebView2Engine::FitViewToWindow() {
  if (engine_.controller == nullptr || window_ == nullptr) return;
  RECT client{};
  GetClientRect(window_, &client);
  engine_.controller->put_Bounds(client);
}

void WebView2Engine::LimitTrackingSize(MINMAXINFO& limits) const {
  if (minimum_.cx > 0 && minimum_.cy > 0) limits.ptMinTrackSize = {minimum_.cx, minimum_.cy};
  if (maximum_.cx > 0 && maximum_.cy > 0) {
    limits.ptMaxTrackSize = {maximum_.cx, maximum_.cy};
    limits.ptMaxSize = limits.ptMaxTrackSize;
  }
}

void WebView2Engine::CloseView() {
  if (engine_.controller != nullptr) engine_.controller->Close();
  engine_ = {};
}

}  // namespace

std::unique_ptr<WebEngine> CreateWebEngine(bool debug, WebEngineEvents& events,
                                           std::string& error) {
  auto engine = std::make_unique<WebView2Engine>(events);
  if (!engine->Start(debug, error)) return nullptr;
  return engine;
}

}  // namespace platform
