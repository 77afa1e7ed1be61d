// A plug-in (plugins/net.c, built against the public header) opening real
// connections through the exported network functions: HTTP requests to a
// loopback peer that records what it got, raw connections in both
// families, TLS against `openssl s_server` with and without verification,
// the TLS library's own functions, refused connections, and the
// asynchronous sleep that a task's end wakes.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "libraries/site_runner.h"
#include "network/peer_process.h"
#include "network/raw_peer.h"

namespace orin {
namespace {

const std::string kLibrary = "b,n/a," + PluginPath("zt_net");

const char kDeclarations[] = R"(
.func net_request(method, url, body) external
.func net_raw(host, port, text) external
.func net_url(url, text) external
.func net_tls(host, port, verify) external
.func net_old(host, port, text) external
.func net_ssl() external
.func net_async_sleep(ms) external
)";

// An assembler string literal.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      if (c == '"' || c == '\\') out += '\\';
      out += c;
    }
  }
  return out + "\"";
}

// One call of a net_ function with text and number arguments, its answer
// written out.
std::string Call(const std::string& function, const std::vector<std::string>& arguments) {
  std::string source = kDeclarations;
  for (const std::string& a : arguments) {
    bool is_number = !a.empty() && a.find_first_not_of("-0123456789") == std::string::npos;
    source += "        " + std::string(is_number ? "pushi " + a : "pushc " + Quoted(a)) + "\n";
  }
  return source + "        call " + function + "\n        out\n";
}

// A peer that reads one request head (and a body of the length it names)
// and answers with `reply`.
std::unique_ptr<RawPeer> HttpPeer(const std::string& reply, int connections = 1) {
  return std::make_unique<RawPeer>(
      [reply](Socket& s, RawPeer& peer) {
        std::string head = peer.ReadUntil(s, "\r\n\r\n");
        size_t at = head.find("Content-Length: ");
        if (at != std::string::npos) peer.ReadBytes(s, std::stoul(head.substr(at + 16)));
        RawPeer::Send(s, reply);
      },
      connections);
}

class PluginNetwork : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { site_ = new TestSite({kLibrary}, "globaltimeout = 10\n"); }
  static void TearDownTestSuite() {
    delete site_;
    site_ = nullptr;
  }
  static TestSite* site_;
};
TestSite* PluginNetwork::site_ = nullptr;

TEST_F(PluginNetwork, RequestSendsHeadersAndBodyAndReadsTheResponse) {
  auto peer = HttpPeer("HTTP/1.1 201 Created\r\nContent-Length: 17\r\n\r\n{\"stored\": true}\n");
  std::string url = "http://127.0.0.1:" + std::to_string(peer->port()) + "/store?x=1";
  EXPECT_EQ(site_->Run(Call("net_request", {"PUT", url, "{\"a\": 1}"})),
            "status=201 length=17 body={\"stored\": true}\n");
  peer->Stop();
  EXPECT_EQ(peer->received(),
            "PUT /store?x=1 HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(peer->port()) +
                "\r\nContent-Type: application/json\r\nContent-Length: "
                "8\r\nX-Plugin: net\r\nConnection: close\r\n\r\n{\"a\": 1}");
}

TEST_F(PluginNetwork, ChunkedAndUnframedBodiesAreReadToTheirEnd) {
  auto chunked = HttpPeer(
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
      "5\r\nhello\r\n10\r\n, chunked world!\r\n0\r\n\r\n");
  EXPECT_EQ(site_->Run(Call("net_request",
                            {"", "http://127.0.0.1:" + std::to_string(chunked->port()) + "/", ""})),
            "status=200 length=-1 body=hello, chunked world!");
  // Without a length the body ends when the peer closes.
  auto unframed = HttpPeer("HTTP/1.0 404 Not Found\r\n\r\nno such page");
  EXPECT_EQ(site_->Run(Call("net_request",
                            {"GET", "http://127.0.0.1:" + std::to_string(unframed->port()), ""})),
            "status=404 length=-1 body=no such page");
  unframed->Stop();
  EXPECT_EQ(unframed->received().substr(0, 16), "GET / HTTP/1.1\r\n");
}

TEST_F(PluginNetwork, FailuresComeBackWithTheirTexts) {
  int port = FreePort();
  std::string p = std::to_string(port);
  EXPECT_EQ(site_->Run(Call("net_raw", {"127.0.0.1", p, "x"})),
            "error=Error connecting to 127.0.0.1 on port " + p + ": Connection failed");
  EXPECT_EQ(site_->Run(Call("net_request", {"GET", "http://127.0.0.1:" + p + "/", ""})),
            "error=Unable to open URL 'http://127.0.0.1:" + p + "/': Error connecting to " +
                "127.0.0.1 on port " + p + ": Connection failed");
  EXPECT_EQ(site_->Run(Call("net_old", {"127.0.0.1", p, "x"})),
            "error=Error connecting to 127.0.0.1 on port " + p + ": Connection failed");
  // A peer that closes without a status line.
  RawPeer mute([](Socket& s, RawPeer& peer) { peer.ReadUntil(s, "\r\n\r\n"); });
  std::string answer = site_->Run(
      Call("net_request", {"GET", "http://127.0.0.1:" + std::to_string(mute.port()), ""}));
  EXPECT_EQ(answer.rfind("error=", 0), 0u) << answer;
  EXPECT_GT(answer.size(), 6u) << "no error text";
}

TEST_F(PluginNetwork, RawConnectionsWriteAndReadLines) {
  RawPeer echo([](Socket& s, RawPeer& peer) {
    std::string line = peer.ReadUntil(s, "\n");
    RawPeer::Send(s, "you said: " + line + "and more\nbytes");
  });
  EXPECT_EQ(site_->Run(Call("net_raw", {"127.0.0.1", std::to_string(echo.port()), "hi\n"})),
            "wrote=3 line=you said: hi\nrest=and more\nbytes");
  // The old family copies what fits its buffer of 8 and drops the rest.
  RawPeer lines([](Socket& s, RawPeer& peer) {
    peer.ReadUntil(s, "\n");
    RawPeer::Send(s, "a long first line\nabc\n");
  });
  EXPECT_EQ(site_->Run(Call("net_old", {"localhost", std::to_string(lines.port()), "go\n"})),
            "wrote=3 readline=7 [a long ] next=abc\n");
  // Open_URL gives a bare connection for the caller's own protocol.
  RawPeer url([](Socket& s, RawPeer& peer) {
    peer.ReadUntil(s, "\n");
    RawPeer::Send(s, "+OK ready\r\n");
  });
  EXPECT_EQ(site_->Run(Call(
                "net_url", {"http://127.0.0.1:" + std::to_string(url.port()) + "/x", "HELLO\r\n"})),
            "line=+OK ready\r\n");
}

// TLS: one `openssl s_server -www` with a self-signed certificate for
// localhost, shared by the suite.
class PluginTls : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new std::filesystem::path(std::filesystem::temp_directory_path() /
                                     ("orin-plugin-tls-" + std::to_string(CurrentProcessId())));
    std::filesystem::create_directories(*dir_);
    std::string d = dir_->string();
    server_ = new PeerProcess();
    if (RunCommand("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                   "-keyout " +
                   d + "/key.pem -out " + d +
                   "/cert.pem -days 2 -subj /CN=localhost "
                   "-addext subjectAltName=DNS:localhost >/dev/null 2>&1") != 0)
      return;
    int port = FreePort();
    server_->Start({"openssl", "s_server", "-accept", "127.0.0.1:" + std::to_string(port), "-cert",
                    d + "/cert.pem", "-key", d + "/key.pem", "-www", "-quiet"},
                   port, d + "/server.log");
    // One site trusts the certificate; the other trusts nothing and, unless
    // a call forces them, checks neither the chain nor the name.
    trusting_ = new TestSite({kLibrary}, "globaltimeout = 10\ncafile = \"" + d + "/cert.pem\"\n");
    lax_ = new TestSite({kLibrary}, "globaltimeout = 10\nsecurityoptions = 12288\n");
  }
  static void TearDownTestSuite() {
    delete server_;
    delete trusting_;
    delete lax_;
    std::error_code ec;
    std::filesystem::remove_all(*dir_, ec);
    delete dir_;
  }
  void SetUp() override {
    if (!server_->running()) GTEST_SKIP() << "openssl s_server did not start";
  }
  static std::string Port() { return std::to_string(server_->port()); }

  static std::filesystem::path* dir_;
  static PeerProcess* server_;
  static TestSite* trusting_;
  static TestSite* lax_;
};
std::filesystem::path* PluginTls::dir_ = nullptr;
PeerProcess* PluginTls::server_ = nullptr;
TestSite* PluginTls::trusting_ = nullptr;
TestSite* PluginTls::lax_ = nullptr;

TEST_F(PluginTls, VerifiedConnectionsNeedTrustAndTheRightName) {
  EXPECT_EQ(trusting_->Run(Call("net_tls", {"localhost", Port(), "1"})),
            "line=HTTP/1.0 200 ok\r\n");
  // The certificate names localhost only.
  EXPECT_EQ(trusting_->Run(Call("net_tls", {"127.0.0.1", Port(), "1"})),
            "error=Unable to verify server identity");
  // HTTPS requests go the same way.
  std::string answer =
      trusting_->Run(Call("net_request", {"GET", "https://localhost:" + Port() + "/", ""}));
  EXPECT_EQ(answer.rfind("status=200 length=-1 body=<HTML>", 0), 0u) << answer.substr(0, 200);
}

TEST_F(PluginTls, VerifyForcesWhatTheSettingsTurnedOff) {
  EXPECT_EQ(lax_->Run(Call("net_tls", {"127.0.0.1", Port(), "0"})), "line=HTTP/1.0 200 ok\r\n");
  std::string forced = lax_->Run(Call("net_tls", {"localhost", Port(), "1"}));
  EXPECT_EQ(forced.rfind("error=", 0), 0u) << forced;
  EXPECT_NE(forced.find("certificate verify failed"), std::string::npos) << forced;
}

TEST_F(PluginTls, TheProgramHandsOutTheTlsLibrarysFunctions) {
  EXPECT_EQ(lax_->Run(Call("net_ssl", {})), "RAND_bytes=1 filled=1 version_1_1_or_later=1");
}

// A task that ends wakes the asynchronous sleep at once; without tasks it
// sleeps its time, and never longer than "asyncsleeptimeout".
TEST(PluginAsynchronousSleep, EndsWhenATaskEndsOrTheTimePasses) {
  TestSite site({kLibrary});
  std::string declarations = kDeclarations;
  // The task sleeps long enough for the request to be asleep when it ends.
  EXPECT_EQ(site.Run(declarations + R"(
.func orin_sleep(ms) external
        async after
        pushi 500
        call orin_sleep
        pop
        retn
after:
        pushi 20000
        call net_async_sleep
        out
)"),
            "2");
  EXPECT_EQ(site.Run(Call("net_async_sleep", {"10"})), "1");
  TestSite capped({kLibrary}, "asyncsleeptimeout = 1\n");
  // 60 s asked for, 1 s allowed.
  EXPECT_EQ(capped.Run(Call("net_async_sleep", {"60000"})), "1");
}

}  // namespace
}  // namespace orin
