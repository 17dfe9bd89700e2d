#include "platform/win32/webview2_engine.h"

#include <shlobj.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "log/log.h"
#include "platform/launcher_directory.h"
#include "platform/text.h"
#include "platform/win32/com_callback.h"
#include "platform/win32/message_pump.h"

namespace webview2 {

namespace {

using EnvironmentCompleted = Callback<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
                                      HRESULT, ICoreWebView2Environment*>;
using ControllerCompleted = Callback<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,
                                     HRESULT, ICoreWebView2Controller*>;

// The runtime starts a browser process on first use; on a slow machine that takes seconds.
constexpr DWORD kStartTimeoutMs = 60000;

std::string HresultText(HRESULT result) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(result));
  return text;
}

std::string EnvironmentError(HRESULT result) {
  if (result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) {
    return "the WebView2 runtime is not installed (" + HresultText(result) + ")";
  }
  return "the WebView2 runtime could not be started (" + HresultText(result) + ")";
}

// What the completion handlers report. Shared with them, because the runtime may still call a
// handler after StartEngine has given up waiting.
struct StartState {
  bool done = false;
  bool abandoned = false;  // StartEngine gave up waiting: late results are thrown away
  bool environmentFailed = false;
  HRESULT result = S_OK;
  ComPtr<ICoreWebView2Environment> environment;
  ComPtr<ICoreWebView2Controller> controller;
};

ComPtr<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler> OnControllerCreated(
    std::shared_ptr<StartState> state) {
  return ControllerCompleted::Make([state](HRESULT result, ICoreWebView2Controller* controller) {
    if (state->abandoned) {
      if (controller != nullptr) controller->Close();
      return S_OK;
    }
    state->result = SUCCEEDED(result) && controller == nullptr ? E_POINTER : result;
    state->controller = controller;
    state->done = true;
    return S_OK;
  });
}

ComPtr<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler> OnEnvironmentCreated(
    std::shared_ptr<StartState> state, HWND parent) {
  return EnvironmentCompleted::Make([state, parent](HRESULT result,
                                                    ICoreWebView2Environment* environment) {
    if (state->abandoned) return S_OK;
    if (SUCCEEDED(result) && environment == nullptr) result = E_POINTER;
    if (SUCCEEDED(result)) {
      state->environment = environment;
      result = environment->CreateCoreWebView2Controller(parent, OnControllerCreated(state).Get());
    } else {
      state->environmentFailed = true;
    }
    if (FAILED(result)) {
      state->result = result;
      state->done = true;
    }
    return S_OK;
  });
}

// Why the loader at `path` did not load, for a player to read.
std::string LoaderLoadError(const std::string& path, DWORD code) {
  std::string text = path + " cannot be loaded (error " + std::to_string(code);
  if (code == ERROR_BAD_EXE_FORMAT) {
    text += sizeof(void*) == 4 ? ": it is not the x86 loader that this 32-bit launcher needs"
                               : ": it is not the x64 loader that this 64-bit launcher needs";
  }
  return text + ")";
}

bool WaitForStart(const StartState& state, std::string& error) {
  switch (PumpMessagesUntil([&state] { return state.done; }, kStartTimeoutMs)) {
    case PumpResult::Done:
      return true;
    case PumpResult::TimedOut:
      error = "the WebView2 runtime did not answer within " +
              std::to_string(kStartTimeoutMs / 1000) + " seconds";
      return false;
    case PumpResult::QuitRequested:
      error = "the program was asked to quit while the WebView2 runtime started";
      return false;
  }
  return false;
}

}  // namespace

HMODULE LoadLoader(std::string& error) {
  const Utf16String beside = Utf8ToUtf16(GetLauncherDirectory().c_str()) + L"\\" + kLoaderFileName;
  HMODULE loader = LoadLibraryExW(beside.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (loader != nullptr) return loader;
  const DWORD besideError = GetLastError();
  const bool shipped = GetFileAttributesW(beside.c_str()) != INVALID_FILE_ATTRIBUTES;
  // The application folder, System32 and folders added for DLLs; not the current folder, where
  // anyone could have put a DLL of that name.
  loader = LoadLibraryExW(kLoaderFileName, nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
  const DWORD systemError = GetLastError();
  if (shipped) {
    const std::string reason = LoaderLoadError(Utf16ToUtf8(beside.c_str()), besideError);
    if (loader != nullptr) {
      LogErrorAs("WebWindow", "%s; using the one in the system folders", reason.c_str());
    } else {
      error = reason;
    }
    return loader;
  }
  if (loader != nullptr) return loader;
  if (systemError == ERROR_MOD_NOT_FOUND || systemError == ERROR_FILE_NOT_FOUND) {
    error = "WebView2Loader.dll was found neither beside the launcher nor in the system folders";
  } else {
    error = LoaderLoadError("WebView2Loader.dll in the system folders", systemError);
  }
  return nullptr;
}

bool StartEngine(HMODULE loader, HWND parent, Engine& engine, std::string& error) {
  const auto create = reinterpret_cast<CreateEnvironmentWithOptionsFunction>(
      reinterpret_cast<void*>(GetProcAddress(loader, kCreateEnvironmentWithOptionsName)));
  if (create == nullptr) {
    error = std::string("WebView2Loader.dll has no ") + kCreateEnvironmentWithOptionsName;
    return false;
  }
  auto state = std::make_shared<StartState>();
  const std::wstring folder = UserDataFolder();
  const HRESULT started = create(nullptr, folder.empty() ? nullptr : folder.c_str(), nullptr,
                                 OnEnvironmentCreated(state, parent).Get());
  if (FAILED(started)) {
    error = EnvironmentError(started);
    return false;
  }
  if (!WaitForStart(*state, error)) {
    state->abandoned = true;
    if (state->controller != nullptr) state->controller->Close();
    return false;
  }
  if (FAILED(state->result)) {
    error = state->environmentFailed ? EnvironmentError(state->result)
                                     : "the WebView2 browser view could not be created (" +
                                           HresultText(state->result) + ")";
    return false;
  }
  engine.environment = state->environment;
  engine.controller = state->controller;
  const HRESULT viewFound = engine.controller->get_CoreWebView2(engine.webview.Receive());
  if (FAILED(viewFound) || engine.webview == nullptr) {
    error = "the WebView2 browser view has no page (" + HresultText(viewFound) + ")";
    engine.controller->Close();
    engine = {};
    return false;
  }
  return true;
}

std::string RuntimeVersion(const Engine& engine) {
  LPWSTR version = nullptr;
  if (engine.environment == nullptr ||
      FAILED(engine.environment->get_BrowserVersionString(&version)) || version == nullptr) {
    CoTaskMemFree(version);
    return "of unknown version";
  }
  std::string text = Utf16ToUtf8(version);
  CoTaskMemFree(version);
  return text;
}

bool ApplySettings(Engine& engine, bool debug, std::string& error) {
  ComPtr<ICoreWebView2Settings> settings;
  if (FAILED(engine.webview->get_Settings(settings.Receive())) || settings == nullptr) {
    error = "the WebView2 browser view has no settings";
    return false;
  }
  ComPtr<ICoreWebView2Settings3> keys;
  if (FAILED(settings->QueryInterface(ICoreWebView2Settings3::kIid,
                                      reinterpret_cast<void**>(keys.Receive()))) ||
      keys == nullptr) {
    error = "the WebView2 Runtime on this computer (" + RuntimeVersion(engine) +
            ") is too old; the launcher needs version " + kMinimumRuntimeVersion + " or later";
    return false;
  }
  settings->put_AreDevToolsEnabled(debug ? TRUE : FALSE);
  settings->put_AreDefaultContextMenusEnabled(debug ? TRUE : FALSE);
  settings->put_IsWebMessageEnabled(TRUE);
  settings->put_IsStatusBarEnabled(FALSE);
  settings->put_IsZoomControlEnabled(FALSE);
  keys->put_AreBrowserAcceleratorKeysEnabled(FALSE);
  return true;
}

std::wstring UserDataFolder() {
  PWSTR localAppData = nullptr;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &localAppData))) {
    CoTaskMemFree(localAppData);
    return {};
  }
  std::filesystem::path folder(localAppData);
  CoTaskMemFree(localAppData);
  folder /= L"Velmora\\Launcher\\WebView2";
  std::error_code failure;
  std::filesystem::create_directories(folder, failure);
  if (failure) return {};
  return folder.wstring();
}

}  // namespace webview2
