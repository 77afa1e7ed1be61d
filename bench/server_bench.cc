// Measures the HTTP server's own costs: parsing a typical browser request,
// small static files per second over loopback with several clients (one
// connection per request, as the server has no keep-alive), and the
// transfer rate of a large static file.
//
// Usage: server_bench [seconds per measurement, default 3]
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/process_info.h"
#include "platform/socket.h"
#include "server/client_request.h"
#include "server/directory_script_area.h"
#include "server/http_server.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

const std::string kBrowserRequest =
    "GET /shop/catalog/item.html?id=1234&lang=en HTTP/1.1\r\n"
    "Host: shop.example.com\r\n"
    "User-Agent: Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 Chrome/120.0 Safari/537.36\r\n"
    "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
    "Accept-Language: en-US,en;q=0.9\r\n"
    "Accept-Encoding: gzip, deflate\r\n"
    "Cookie: pgscallerid=0123456789abcdef0123456789abcdef; theme=dark\r\n"
    "Connection: keep-alive\r\n"
    "\r\n";

class MemorySource : public orin::ByteSource {
 public:
  explicit MemorySource(const std::string& bytes) : bytes_(bytes) {}
  int32_t Receive(char* buffer, int32_t capacity) override {
    size_t n = std::min(bytes_.size() - given_, static_cast<size_t>(capacity));
    std::memcpy(buffer, bytes_.data() + given_, n);
    given_ += n;
    return static_cast<int32_t>(n);
  }

 private:
  const std::string& bytes_;
  size_t given_ = 0;
};

void BenchParse(double seconds) {
  long count = 0;
  auto start = Clock::now();
  while (Seconds(start) < seconds) {
    for (int i = 0; i < 1000; ++i) {
      MemorySource source(kBrowserRequest);
      orin::ClientRequest request(&source);
      if (request.Parse() != orin::ClientRequest::ParseResult::kParsed) std::abort();
    }
    count += 1000;
  }
  double t = Seconds(start);
  std::printf("parse %zu-byte request: %.0f requests/s (%.2f us each)\n", kBrowserRequest.size(),
              count / t, t * 1e6 / count);
}

class Site : public orin::ServerEnvironment {
 public:
  explicit Site(std::string root) : root_(std::move(root)) {}
  orin::ServerSettings LoadSettings() override {
    orin::ServerSettings s;
    s.bind_address = "127.0.0.1";
    s.port = 0;
    s.zetoroot = root_;
    return s;
  }
  std::unique_ptr<orin::ScriptArea> NewScriptArea() override {
    return std::make_unique<orin::DirectoryScriptArea>();
  }

 private:
  std::string root_;
};

// One request on a new connection; returns the bytes received.
size_t Fetch(int port, const std::string& path) {
  orin::Socket s;
  std::string error;
  if (!orin::ConnectTcp("127.0.0.1", port, &s, &error)) return 0;
  std::string request = "GET " + path + " HTTP/1.1\r\nHost: bench\r\n\r\n";
  s.SendAll(request.data(), static_cast<int32_t>(request.size()), 10000);
  static thread_local std::vector<char> buffer(1 << 20);
  size_t total = 0;
  for (;;) {
    int32_t n = s.Receive(buffer.data(), static_cast<int32_t>(buffer.size()), 10000);
    if (n <= 0) return total;
    total += static_cast<size_t>(n);
  }
}

void BenchSmallFiles(int port, int clients, double seconds) {
  std::atomic<long> count{0}, failed{0};
  auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&] {
      while (Seconds(start) < seconds) {
        if (Fetch(port, "/small.html") == 0) ++failed;
        ++count;
      }
    });
  }
  for (auto& t : threads)
    t.join();
  double t = Seconds(start);
  std::printf("small static file, %d clients: %.0f requests/s (%ld failed)\n", clients, count / t,
              failed.load());
}

void BenchLargeFile(int port, size_t size, double seconds) {
  long fetched = 0;
  size_t bytes = 0;
  auto start = Clock::now();
  while (Seconds(start) < seconds) {
    bytes += Fetch(port, "/large.bin");
    ++fetched;
  }
  double t = Seconds(start);
  std::printf("large static file (%zu MiB) x %ld: %.0f MiB/s\n", size >> 20, fetched,
              bytes / t / (1 << 20));
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  auto root = std::filesystem::temp_directory_path() /
              ("orin-server-bench-" + std::to_string(orin::CurrentProcessId()));
  std::filesystem::create_directories(root);
  std::ofstream(root / "small.html") << std::string(2048, 'x');
  const size_t large = 64 << 20;
  std::ofstream(root / "large.bin", std::ios::binary) << std::string(large, 'L');

  BenchParse(seconds);
  Site site(root.string());
  orin::HTTPServer server(site);
  if (!server.Listen()) {
    std::fprintf(stderr, "listen: %s\n", server.ErrorText().c_str());
    return 1;
  }
  BenchSmallFiles(server.port(), 1, seconds);
  BenchSmallFiles(server.port(), 8, seconds);
  BenchLargeFile(server.port(), large, seconds);
  server.StopListening();
  std::filesystem::remove_all(root);
  return 0;
}
