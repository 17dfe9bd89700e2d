// A loopback file server for the download benchmark, in a process of its own so that its memory
// and CPU are not the measured program's. Usage: bench_file_server <folder> <port file>
// Serves <folder>/<name> at /<name>, streamed from disk in 256 KiB pieces.
#include <httplib.h>

#include <fstream>
#include <memory>
#include <string>

namespace {

constexpr std::size_t kPiece = 256 * 1024;

void ServeFile(const std::string& folder, const httplib::Request& request,
               httplib::Response& response) {
  const std::string path = folder + "/" + std::string(request.matches[1]);
  auto file = std::make_shared<std::ifstream>(path, std::ios::binary);
  if (!file->is_open()) {
    response.status = 404;
    return;
  }
  file->seekg(0, std::ios::end);
  const auto size = static_cast<std::size_t>(file->tellg());
  file->seekg(0);
  response.set_content_provider(
      size, "application/octet-stream",
      [file](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        std::string buffer(std::min(length, kPiece), '\0');
        file->seekg(static_cast<std::streamoff>(offset));
        file->read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        return sink.write(buffer.data(), static_cast<std::size_t>(file->gcount()));
      });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::string folder = argv[1];
  httplib::Server server;
  server.Get(R"(/(.+))", [&](const httplib::Request& request, httplib::Response& response) {
    ServeFile(folder, request, response);
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  if (port <= 0) return 1;
  std::ofstream(std::string(argv[2]) + ".new") << port;
  std::rename((std::string(argv[2]) + ".new").c_str(), argv[2]);
  server.listen_after_bind();
  return 0;
}
