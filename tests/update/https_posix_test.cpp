// The patch server client over HTTPS against the project's nginx: what a trusted certificate
// delivers, and the certificates it must refuse, each with a line that says why.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/web_server.h"
#include "tests/update/engine_test_support.h"
#include "update/update_manager.h"

using namespace testing_support;

namespace {

class Https : public ::testing::Test {
 protected:
  void SetUp() override { viewer.Start(); }

  std::vector<std::string> ErrorLines() {
    std::vector<std::string> errors;
    for (const std::string& line : LoggedLines(viewer))
      if (line.rfind("LAUNCHER|E|", 0) == 0) errors.push_back(line);
    return errors;
  }

  TempDir tree{"https tree"};
  TempDir game{"https game"};
  LogCapture viewer;
};

}  // namespace

TEST_F(Https, DocumentsAndFilesArriveFromATrustedServerOverHttp2) {
  tree.Write("version.json", R"({"version":"2.0"})");
  const std::string big(3'000'000, 'x');
  tree.Write("files/data/big file.pak", big);
  WebServer server(tree.path());
  UpdateManager manager(server.BaseUrl(), game.utf8());

  EXPECT_EQ(manager.DownloadToString(server.BaseUrl() + "version.json"), R"({"version":"2.0"})");
  ASSERT_TRUE(manager.DownloadToFile(server.BaseUrl() + "files/data/big%20file.pak",
                                     game.utf8() + "/big.pak"));
  EXPECT_EQ(game.Read("big.pak"), big);
  EXPECT_TRUE(ErrorLines().empty());
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  for (const ServedRequest& request : requests)
    EXPECT_EQ(request.protocol, "HTTP/2.0") << request.uri;
}

TEST_F(Https, CertificatesThatMustNotBeTrustedFailTheTransferWithTheReason) {
  tree.Write("version.json", R"({"version":"2.0"})");
  tree.Write("files/a.pak", "new content");
  game.Write("a.pak", "installed content");
  WebServer server(tree.path(), true);
  UpdateManager manager(server.BaseUrl(), game.utf8());

  const struct {
    ServerCertificate certificate;
    const char* reason;
  } cases[] = {
      {ServerCertificate::WrongHost, "no alternative certificate subject name matches"},
      {ServerCertificate::Expired, "certificate has expired"},
      {ServerCertificate::Stranger, "unable to get local issuer certificate"},
  };
  for (const auto& refused : cases) {
    SCOPED_TRACE(refused.reason);
    const std::string base = server.BaseUrl(refused.certificate);
    const std::size_t before = ErrorLines().size();
    EXPECT_EQ(manager.DownloadToString(base + "version.json"), "");
    EXPECT_FALSE(manager.DownloadToFile(base + "files/a.pak", game.utf8() + "/a.pak"));
    EXPECT_EQ(game.Read("a.pak"), "installed content");

    const auto errors = ErrorLines();
    ASSERT_EQ(errors.size(), before + 3) << "document: reason and code; file: reason";
    EXPECT_NE(errors[before].find("Certificate refused for " + base + "version.json: "),
              std::string::npos)
        << errors[before];
    EXPECT_NE(errors[before].find(refused.reason), std::string::npos) << errors[before];
    EXPECT_NE(errors[before + 1].find("InternetOpenUrl failed for " + base + "version.json: 60"),
              std::string::npos)
        << errors[before + 1];
    EXPECT_NE(errors[before + 2].find("Certificate refused for " + base + "files/a.pak: "),
              std::string::npos)
        << errors[before + 2];
  }
  EXPECT_TRUE(server.Requests().empty()) << "no request may be sent over a refused connection";
}
