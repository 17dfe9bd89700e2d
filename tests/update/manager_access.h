// The narrow way into an UpdateManager's private parts that tests and benchmarks need: waiting
// for its worker, telling whether one was started, holding its status lock to stop a worker at
// its next status store, and a smaller manifest limit.
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
  // Makes manifests longer than `bytes` fail as too large (the product's limit is 256 MiB).
  static void SetManifestLimit(UpdateManager& manager, std::size_t bytes) {
    manager.manifestLimit = bytes;
  }
  // Holds the status lock until the returned lock is released.
  static std::unique_lock<std::mutex> LockStatus(UpdateManager& manager) {
    return std::unique_lock<std::mutex>(manager.statusMutex);
  }
};
