// Helpers shared by the server tests: temporary site directories, byte
// sources fed in pieces, and a small HTTP client over real sockets.
#ifndef ORIN_TESTS_SERVER_SERVER_TEST_SUPPORT_H_
#define ORIN_TESTS_SERVER_SERVER_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "platform/socket.h"
#include "server/request_reader.h"

namespace orin {
namespace testing_support {

// Guard against a hung server; never reached when things work.
constexpr int kGuardMillis = 10000;

class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            ("orin-server-test-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

  // Writes a file below the directory, creating parent directories.
  void Write(const std::string& relative, std::string_view bytes) const {
    std::filesystem::path p = path_ / relative;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

 private:
  std::filesystem::path path_;
};

// Hands out prepared pieces, one per Receive, then `end` (0 closed, -1
// failed) for ever.
class PieceSource : public ByteSource {
 public:
  explicit PieceSource(std::vector<std::string> pieces, int32_t end = 0)
      : pieces_(std::move(pieces)), end_(end) {}
  int32_t Receive(char* buffer, int32_t capacity) override {
    ++calls_;
    if (next_ >= pieces_.size()) return end_;
    std::string& piece = pieces_[next_];
    int32_t n = static_cast<int32_t>(std::min<size_t>(piece.size(), capacity));
    std::copy(piece.begin(), piece.begin() + n, buffer);
    piece.erase(0, n);
    if (piece.empty()) ++next_;
    return n;
  }
  int calls() const { return calls_; }

 private:
  std::vector<std::string> pieces_;
  size_t next_ = 0;
  int32_t end_;
  int calls_ = 0;
};

inline Socket Connect(int port) {
  Socket s;
  std::string error;
  EXPECT_TRUE(ConnectTcp("127.0.0.1", port, &s, &error)) << error;
  return s;
}

// Everything the peer sends until it closes; fails the test when the peer
// neither sends nor closes within the guard time.
inline std::string ReadToClose(Socket& s) {
  std::string all;
  char buf[65536];
  for (;;) {
    if (!s.WaitReadable(kGuardMillis)) {
      ADD_FAILURE() << "no answer and no close within the guard time";
      return all;
    }
    int32_t n = s.Receive(buf, sizeof buf, kGuardMillis);
    if (n <= 0) return all;
    all.append(buf, n);
  }
}

// One request on a new connection; returns the whole response.
inline std::string Fetch(int port, std::string_view request) {
  Socket s = Connect(port);
  EXPECT_EQ(s.SendAll(request.data(), static_cast<int32_t>(request.size()), kGuardMillis),
            static_cast<int32_t>(request.size()));
  return ReadToClose(s);
}

inline std::string Get(int port, std::string_view path) {
  return Fetch(port, "GET " + std::string(path) + " HTTP/1.1\r\nHost: test\r\n\r\n");
}

// The body of a response (what follows the first blank line).
inline std::string BodyOf(const std::string& response) {
  size_t end = response.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : response.substr(end + 4);
}

}  // namespace testing_support
}  // namespace orin

#endif  // ORIN_TESTS_SERVER_SERVER_TEST_SUPPORT_H_
