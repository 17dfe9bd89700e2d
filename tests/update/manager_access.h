// The narrow way into an UpdateManager's private parts that tests and benchmarks need: waiting
// for its worker, telling whether one was started, and holding its status lock to stop a worker
// at its next status store.
#pragma once

#include <mutex>

#include "update/update_manager.h"

struct UpdateManagerTestAccess {
  // Waits until the running worker (if any) has returned.
  static void JoinWorker(UpdateManager& manager) {
    if (manager.worker.joinable()) manager.worker.join();
  }
  // Whether a worker was started and not yet joined.
  static bool HasWorker(const UpdateManager& manager) { return manager.worker.joinable(); }
  // Holds the status lock until the returned lock is released.
  static std::unique_lock<std::mutex> LockStatus(UpdateManager& manager) {
    return std::unique_lock<std::mutex>(manager.statusMutex);
  }
};
