// The main of every test program: the log sink is isolated before any test runs.
#include <gtest/gtest.h>

#include "tests/support/log_capture.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing_support::IsolateLogSink();
  return RUN_ALL_TESTS();
}
