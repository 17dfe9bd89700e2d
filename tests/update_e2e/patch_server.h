// A patch server on 127.0.0.1 for the update scenarios: it serves a published patch tree under
// its base URL, and can be told to answer one file wrongly.
//
// Linux runs cpp-httplib inside the test program and can also count requests and hold a request
// until the test lets it go. Windows test programs (under wine) use the engine tests' loopback
// server process, which serves a copy of the tree; counting and holding are not available there
// and throw std::logic_error.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace testing_support {

class PatchServer {
 public:
  // Serves the patch tree in `tree` (version.json, manifest.json, files/) on `port`, or on a free
  // port when it is 0 (always so on Windows).
  explicit PatchServer(const std::filesystem::path& tree, int port = 0);
  ~PatchServer();
  PatchServer(const PatchServer&) = delete;
  PatchServer& operator=(const PatchServer&) = delete;

  // The launcher's base URL for this tree: "http://127.0.0.1:<port>/.../patch/".
  std::string BaseUrl() const;

  // `name` is relative to the tree, as in a URL after the base ("manifest.json",
  // "files/data/a.pak").
  void AnswerNotFound(const std::string& name);
  void AnswerWith(const std::string& name, const std::string& body);

  // How many requests for `name` arrived.
  int Requests(const std::string& name) const;
  // Requests for `name` wait, unanswered, until Release.
  void Hold(const std::string& name);
  // Returns once a held request for `name` is waiting.
  void WaitUntilHeld(const std::string& name);
  void Release(const std::string& name);

  class Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace testing_support
