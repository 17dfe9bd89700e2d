// A log viewer that has hung: it opens the window titled "TarsenWndLog" and then never takes a
// message again, as a viewer stuck in a long operation or a deadlock does. The test that starts
// it ends it with TerminateProcess.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "VelmoraHungLogViewer";
  RegisterClassA(&windowClass);
  HWND window =
      CreateWindowExA(0, windowClass.lpszClassName, "TarsenWndLog", WS_OVERLAPPEDWINDOW,
                      CW_USEDEFAULT, CW_USEDEFAULT, 300, 200, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  Sleep(INFINITE);
  return 0;
}
