// Without a viewer window a line is dropped and the thread's last-error code reads 0 afterwards,
// whatever it was before.
#include <windows.h>

#include <gtest/gtest.h>

#include "log/log.h"

TEST(LogLineWin32, NoViewerLeavesLastErrorZero) {
  ASSERT_EQ(FindWindowA(nullptr, "TarsenWndLog"), nullptr) << "a viewer is running";
  SetLastError(ERROR_ACCESS_DENIED);
  LogInfo("nobody listens");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
}
