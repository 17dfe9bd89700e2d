// The log viewer for Windows: a window titled "TarsenWndLog" that lists every line the launcher
// sends it through WM_COPYDATA.
//
//   LogViewer.exe                   shows the lines
//   LogViewer.exe --output <file>   also appends every message to <file> as a record of
//                                   dwData (8 bytes), cbData (4 bytes) and the data itself,
//                                   little-endian, so a test can read exactly what arrived.

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

constexpr int kMaxListedLines = 10000;

HWND list = nullptr;
std::FILE* output = nullptr;

void Record(const COPYDATASTRUCT& transfer) {
  if (output == nullptr) return;
  const std::uint64_t data = transfer.dwData;
  const std::uint32_t size = transfer.cbData;
  std::fwrite(&data, sizeof(data), 1, output);
  std::fwrite(&size, sizeof(size), 1, output);
  if (size > 0) std::fwrite(transfer.lpData, 1, size, output);
  std::fflush(output);  // the sender continues as soon as this message returns
}

void Show(const COPYDATASTRUCT& transfer) {
  if (transfer.dwData != 0 || transfer.cbData == 0 || transfer.lpData == nullptr) return;
  const char* text = static_cast<const char*>(transfer.lpData);
  std::string line(text, strnlen(text, transfer.cbData));
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
    line.pop_back();
  if (SendMessageA(list, LB_GETCOUNT, 0, 0) >= kMaxListedLines) {
    SendMessageA(list, LB_DELETESTRING, 0, 0);
  }
  const LRESULT index = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
  SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      list = CreateWindowExA(0, "LISTBOX", nullptr,
                             WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, 0, 0, 0, 0,
                             window, nullptr, nullptr, nullptr);
      SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)), 0);
      return 0;
    case WM_SIZE:
      MoveWindow(list, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return 0;
    case WM_COPYDATA: {
      const auto* transfer = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
      Record(*transfer);
      Show(*transfer);
      return TRUE;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

bool ParseArguments() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  bool valid = count == 1 || (count == 3 && lstrcmpW(arguments[1], L"--output") == 0);
  if (valid && count == 3) {
    output = _wfopen(arguments[2], L"ab");
    valid = output != nullptr;
  }
  LocalFree(arguments);
  return valid;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  if (!ParseArguments()) {
    MessageBoxA(nullptr, "Usage: LogViewer.exe [--output <file>]", "TarsenWndLog", MB_ICONERROR);
    return 2;
  }
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.lpszClassName = "VelmoraLogViewer";
  RegisterClassA(&windowClass);

  HWND window =
      CreateWindowExA(0, windowClass.lpszClassName, "TarsenWndLog", WS_OVERLAPPEDWINDOW,
                      CW_USEDEFAULT, CW_USEDEFAULT, 900, 500, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  ShowWindow(window, show);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  if (output != nullptr) std::fclose(output);
  return 0;
}
