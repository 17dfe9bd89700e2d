// A full install over HTTPS from nginx, with round trips: the update engine alone (no window)
// against curl and aria2c fetching the same files through the same delaying proxy in the same run.
//
//   install_rtt_bench [--full] [--runs N] [--rtt 0,20,80] [--clients 0,1,2] [--data <folder>]
//
// Clients: 2,000 files of 16 KiB, 200 of 1 MiB and 4 of 100 MiB (--full), or 200, 20 and 1 of
// those sizes (the default, a quick run). Round trips 0 and 20 ms (quick) or 0, 20 and 80 ms
// (--full), added by latency_proxy between every client and nginx. Each row prints its median,
// its ratio to one curl process fetching every file over one connection, and how many
// connections nginx saw. The floor is files x RTT + bytes / bandwidth, with the bandwidth of one
// curl transfer of a large file at RTT 0 measured at the start of the run. The figures are only
// as steady as the machine: run it on an idle one.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "bench/bench_support.h"
#include "bench/update_bench_data.h"
#include "tools/publish/publisher.h"
#include "tools/sampleclient/sample_client.h"
#include "update/update_manager.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kKiB = 1024;
constexpr std::uint64_t kMiB = 1024 * kKiB;

struct Shape {
  std::size_t files;
  std::uint64_t fileSize;
};

struct Options {
  bool full = false;
  int runs = 0;
  std::vector<int> rtts;
  std::vector<std::size_t> clients;
  fs::path data;
};

std::vector<int> NumberList(const char* text) {
  std::vector<int> numbers;
  std::stringstream stream(text);
  std::string item;
  while (std::getline(stream, item, ','))
    numbers.push_back(std::stoi(item));
  return numbers;
}

Options ParseOptions(int argc, char** argv) {
  Options options;
  options.data = fs::current_path() / "build" / "bench-data" / "rtt";
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--full") == 0) {
      options.full = true;
    } else if (std::strcmp(argv[i], "--runs") == 0 && hasValue) {
      options.runs = std::stoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--rtt") == 0 && hasValue) {
      options.rtts = NumberList(argv[++i]);
    } else if (std::strcmp(argv[i], "--clients") == 0 && hasValue) {
      for (const int client : NumberList(argv[++i]))
        options.clients.push_back(static_cast<std::size_t>(client));
    } else if (std::strcmp(argv[i], "--data") == 0 && hasValue) {
      options.data = argv[++i];
    } else {
      throw std::invalid_argument(std::string("unknown argument ") + argv[i]);
    }
  }
  if (options.runs == 0) options.runs = options.full ? 3 : 1;
  if (options.rtts.empty())
    options.rtts = options.full ? std::vector{0, 20, 80} : std::vector{0, 20};
  if (options.clients.empty()) options.clients = {0, 1, 2};
  return options;
}

std::vector<Shape> Shapes(bool full) {
  if (full) return {{2000, 16 * kKiB}, {200, kMiB}, {4, 100 * kMiB}};
  return {{200, 16 * kKiB}, {20, kMiB}, {1, 100 * kMiB}};
}

std::string Describe(const Shape& shape) {
  char text[64];
  if (shape.fileSize >= kMiB) {
    std::snprintf(text, sizeof(text), "%zu files of %llu MiB", shape.files,
                  static_cast<unsigned long long>(shape.fileSize / kMiB));
  } else {
    std::snprintf(text, sizeof(text), "%zu files of %llu KiB", shape.files,
                  static_cast<unsigned long long>(shape.fileSize / kKiB));
  }
  return text;
}

// A client of `shape` published under `folder` (once; later runs reuse it).
struct Tree {
  fs::path patch;
  std::vector<std::string> paths;
  std::uint64_t bytes = 0;
};

Tree PrepareTree(const fs::path& folder, const Shape& shape) {
  std::vector<sample_client::SampleFile> files;
  for (std::size_t i = 0; i < shape.files; ++i) {
    char path[64];
    std::snprintf(path, sizeof(path), "data/folder_%02zu/file_%05zu.pak", i / 100, i);
    files.push_back({path, shape.fileSize, 0x7e57000 + i});
  }
  Tree tree{folder / "served" / "patch", {}, 0};
  for (const auto& file : files) {
    tree.paths.push_back(file.path);
    tree.bytes += file.size;
  }
  const fs::path stamp = folder / "complete";
  if (!fs::exists(stamp)) {
    std::fprintf(stderr, "writing a client of %s into %s (once)\n", Describe(shape).c_str(),
                 folder.string().c_str());
    fs::remove_all(folder);
    sample_client::WriteSampleClient(folder / "client", files);
    const auto published = publish::Publish({folder / "client", "bench", tree.patch});
    if (published.status != publish::PublishStatus::Published)
      throw std::runtime_error("publishing failed: " + published.error);
    fs::remove_all(folder / "client");
    std::ofstream{stamp};
  }
  return tree;
}

int WaitForPortFile(const fs::path& file) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    int port = 0;
    if (std::ifstream(file) >> port) return port;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  throw std::runtime_error("no port in " + file.string());
}

fs::path ProgramFolder() {
  return fs::read_symlink("/proc/self/exe").parent_path();
}

// The project's nginx serving one tree, for as long as the object lives.
class Nginx {
 public:
  Nginx(const fs::path& run, const fs::path& tree, int port) : run_(run), port_(port) {
    fs::remove_all(run);
    pid_ = bench::StartBackground({VELMORA_SOURCE_DIR "/scripts/web-server.sh", "--run",
                                   run.string(), "--tree", tree.string(), "--port",
                                   std::to_string(port), "--certificates", VELMORA_TEST_CA_DIR});
    const std::string probe = "https://localhost:" + std::to_string(port) + "/patch/version.json";
    for (int attempt = 0; attempt < 500; ++attempt) {
      if (bench::TimeCommand({"curl", "-sf", "--cacert", CaFile(), "-o", "/dev/null", probe}) >= 0)
        return;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    throw std::runtime_error("nginx did not start; see " + (run / "error.log").string());
  }
  ~Nginx() { bench::Stop(pid_); }
  Nginx(const Nginx&) = delete;
  Nginx& operator=(const Nginx&) = delete;

  static std::string CaFile() { return VELMORA_TEST_CA_DIR "/ca.pem"; }
  int port() const { return port_; }
  // Distinct connections among the requests logged after `offset` bytes of the access log.
  std::size_t ConnectionsSince(std::uintmax_t offset) const {
    std::ifstream log(run_ / "access.log");
    log.seekg(static_cast<std::streamoff>(offset));
    std::set<std::string> connections;
    std::string line;
    while (std::getline(log, line))
      connections.insert(line.substr(0, line.find(' ')));
    return connections.size();
  }
  std::uintmax_t LogSize() const { return fs::file_size(run_ / "access.log"); }

 private:
  fs::path run_;
  int port_;
  int pid_ = -1;
};

// latency_proxy between the clients and nginx, for as long as the object lives.
class Proxy {
 public:
  Proxy(const fs::path& folder, int target, int rtt) {
    const fs::path portFile = folder / "proxy.port";
    fs::remove(portFile);
    pid_ = bench::StartBackground({(ProgramFolder() / "latency_proxy").string(),
                                   std::to_string(target), std::to_string(rtt), portFile.string()});
    port_ = WaitForPortFile(portFile);
  }
  ~Proxy() { bench::Stop(pid_); }
  Proxy(const Proxy&) = delete;
  Proxy& operator=(const Proxy&) = delete;
  std::string PatchUrl() const { return "https://localhost:" + std::to_string(port_) + "/patch/"; }

 private:
  int pid_ = -1;
  int port_ = 0;
};

// A loopback port nobody uses now (bound, read and released; nginx takes it right after).
int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof(address);
  const bool found = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                     getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0;
  if (fd >= 0) close(fd);
  if (!found) throw std::runtime_error("cannot find a free loopback port");
  return ntohs(address.sin_port);
}

fs::path TreeFolder(const Options& options, const Shape& shape) {
  return options.data /
         ("client-" + std::to_string(shape.files) + "x" + std::to_string(shape.fileSize));
}

// One measured way of installing the tree into an empty folder; negative when it failed.
using Method = std::function<double(const std::string& patchUrl, const fs::path& folder)>;

double EngineInstall(const std::string& patchUrl, const fs::path& folder, std::size_t files) {
  UpdateManager manager(patchUrl, folder.string());
  const auto start = std::chrono::steady_clock::now();
  manager.CheckUpdate();
  std::string status;
  while (true) {
    status = manager.GetStatusJson();
    if (status.find("\"state\":\"complete\"") != std::string::npos ||
        status.find("\"state\":\"error\"") != std::string::npos ||
        status.find("\"state\":\"idle\"") != std::string::npos) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const double seconds = bench::SecondsSince(start);
  const bool complete =
      status.find("\"filesComplete\":" + std::to_string(files)) != std::string::npos &&
      status.find("\"state\":\"complete\"") != std::string::npos;
  if (!complete) std::fprintf(stderr, "engine install failed: %s\n", status.c_str());
  return complete ? seconds : -1;
}

// A curl configuration fetching every file of `tree` from `patchUrl` into `folder`.
fs::path CurlConfig(const fs::path& where, const Tree& tree, const std::string& patchUrl,
                    const fs::path& folder) {
  const fs::path config = where / "curl.conf";
  std::ofstream out(config);
  out << "silent\nno-progress-meter\nfail\ncreate-dirs\ncacert = \"" << Nginx::CaFile() << "\"\n";
  for (const auto& path : tree.paths) {
    out << "url = \"" << patchUrl << "files/" << path << "\"\n";
    out << "output = \"" << (folder / path).string() << "\"\n";
  }
  return config;
}

double CurlOneProcess(const fs::path& where, const Tree& tree, const std::string& patchUrl,
                      const fs::path& folder, bool parallel) {
  const fs::path config = CurlConfig(where, tree, patchUrl, folder);
  std::vector<std::string> argv{"curl", "--config", config.string()};
  if (parallel) argv.insert(argv.end(), {"--parallel", "--parallel-max", "8"});
  return bench::TimeCommand(argv);
}

double CurlProcessPerFile(const Tree& tree, const std::string& patchUrl, const fs::path& folder) {
  const auto start = std::chrono::steady_clock::now();
  for (const auto& path : tree.paths) {
    if (bench::TimeCommand({"curl", "-sf", "--create-dirs", "--cacert", Nginx::CaFile(), "-o",
                            (folder / path).string(), patchUrl + "files/" + path}) < 0) {
      return -1;
    }
  }
  return bench::SecondsSince(start);
}

double Aria2(const fs::path& where, const Tree& tree, const std::string& patchUrl,
             const fs::path& folder) {
  const fs::path list = where / "aria2.list";
  std::ofstream out(list);
  for (const auto& path : tree.paths) {
    out << patchUrl << "files/" << path << "\n";
    out << "  dir=" << folder.string() << "\n  out=" << path << "\n";
  }
  out.close();
  return bench::TimeCommand({"aria2c", "-j", "8", "-i", list.string(),
                             "--ca-certificate=" + Nginx::CaFile(), "--quiet=true",
                             "--allow-overwrite=true", "--auto-file-renaming=false",
                             "--file-allocation=none", "--console-log-level=error"});
}

// Every file of `tree` arrived with its size.
bool Installed(const Tree& tree, const fs::path& folder, std::uint64_t fileSize) {
  for (const auto& path : tree.paths) {
    std::error_code error;
    if (fs::file_size(folder / path, error) != fileSize) return false;
  }
  return true;
}

struct Row {
  const char* name;
  std::vector<double> seconds;
  std::size_t connections = 0;
};

void PrintTable(const Shape& shape, const Tree& tree, int rtt, int runs,
                const std::vector<Row>& rows, double bandwidth) {
  const double floor =
      static_cast<double>(shape.files) * rtt / 1000.0 + static_cast<double>(tree.bytes) / bandwidth;
  const double reference = bench::Median(rows[1].seconds);
  std::printf("\nInstall of %s (%.1f MiB) over HTTPS, RTT %d ms, median of %d run%s\n",
              Describe(shape).c_str(), static_cast<double>(tree.bytes) / kMiB, rtt, runs,
              runs == 1 ? "" : "s");
  std::printf("  %-34s %10s %12s %12s\n", "", "median s", "/ curl 1 p.", "connections");
  for (const Row& row : rows) {
    const double median = bench::Median(row.seconds);
    std::printf("  %-34s %10.3f %12.2f %12zu\n", row.name, median, median / reference,
                row.connections);
  }
  std::printf("  %-34s %10.3f %12.2f\n", "floor: files x RTT + bytes / bw", floor,
              floor / reference);
  const double ours = bench::Median(rows[0].seconds);
  std::printf(
      "  engine / curl one process: %.2f (goal <= 1.15); curl process per file / engine: "
      "%.2f\n",
      ours / reference, bench::Median(rows[2].seconds) / ours);
}

// Bytes per second of one curl transfer of the largest file of `tree` at RTT 0 (the fastest of
// three: the floor is a lower bound).
double MeasureBandwidth(const fs::path& where, const Tree& tree, const Nginx& nginx,
                        std::uint64_t fileSize) {
  Proxy proxy(where, nginx.port(), 0);
  std::vector<double> seconds;
  for (int run = 0; run < 3; ++run) {
    seconds.push_back(
        bench::TimeCommand({"curl", "-sf", "--cacert", Nginx::CaFile(), "-o", "/dev/null",
                            proxy.PatchUrl() + "files/" + tree.paths.front()}));
  }
  return static_cast<double>(fileSize) / *std::min_element(seconds.begin(), seconds.end());
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  fs::create_directories(options.data);
  bench::IsolateLogSink(options.data);
  const std::vector<Shape> shapes = Shapes(options.full);
  const fs::path target = options.data / "target";
  double bandwidth = 0;
  {
    const Shape& large = shapes.back();
    const Tree largeTree = PrepareTree(TreeFolder(options, large), large);
    Nginx server(options.data / "nginx", largeTree.patch, FreePort());
    bandwidth = MeasureBandwidth(options.data, largeTree, server, large.fileSize);
    std::printf("Bandwidth of one HTTPS transfer through the proxy at RTT 0: %.0f MiB/s\n",
                bandwidth / kMiB);
  }

  for (const std::size_t index : options.clients) {
    const Shape& shape = shapes.at(index);
    const Tree tree = PrepareTree(TreeFolder(options, shape), shape);
    Nginx nginx(options.data / "nginx", tree.patch, FreePort());
    for (const int rtt : options.rtts) {
      Proxy proxy(options.data, nginx.port(), rtt);
      const std::string url = proxy.PatchUrl();
      std::vector<Row> rows{{"launcher engine (UpdateWorker)", {}},
                            {"curl, one process, one connection", {}},
                            {"curl, one process per file", {}},
                            {"curl --parallel --parallel-max 8", {}},
                            {"aria2c -j 8", {}}};
      const std::vector<Method> methods{
          [&](const std::string& u, const fs::path& f) {
            return EngineInstall(u, f, tree.paths.size());
          },
          [&](const std::string& u, const fs::path& f) {
            return CurlOneProcess(options.data, tree, u, f, false);
          },
          [&](const std::string& u, const fs::path& f) { return CurlProcessPerFile(tree, u, f); },
          [&](const std::string& u, const fs::path& f) {
            return CurlOneProcess(options.data, tree, u, f, true);
          },
          [&](const std::string& u, const fs::path& f) { return Aria2(options.data, tree, u, f); },
      };
      for (int run = 0; run < options.runs; ++run) {
        for (std::size_t m = 0; m < methods.size(); ++m) {
          fs::remove_all(target);
          fs::create_directories(target);
          const std::uintmax_t logOffset = nginx.LogSize();
          const double seconds = methods[m](url, target);
          if (seconds < 0 || !Installed(tree, target, shape.fileSize)) {
            std::fprintf(stderr, "%s failed at RTT %d ms\n", rows[m].name, rtt);
            return 1;
          }
          rows[m].seconds.push_back(seconds);
          rows[m].connections = nginx.ConnectionsSince(logOffset);
        }
      }
      fs::remove_all(target);
      PrintTable(shape, tree, rtt, options.runs, rows, bandwidth);
      std::fflush(stdout);
    }
  }
  return 0;
}
