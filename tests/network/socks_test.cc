// SOCKS 4 and 5 through real proxies (dante, microsocks) and through a raw
// peer that checks the exact bytes and misbehaves.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "files/temp_dir.h"
#include "network/network_manager.h"
#include "peer_process.h"
#include "raw_peer.h"
#include "util/config.h"

namespace orin {
namespace {

// Answers "ping\n" with "pong\n" on each of `n` connections.
std::unique_ptr<RawPeer> PongPeer(int n = 1) {
  return std::make_unique<RawPeer>(
      [](Socket& s, RawPeer& p) {
        if (p.ReadUntil(s, "\n") == "ping\n") RawPeer::Send(s, "pong\n");
      },
      n);
}

// Proxies shared by the suite, started when a test first needs one: dante
// for SOCKS 4 and 5 without authentication, microsocks for SOCKS 5 with user
// name and password.
class SocksTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    dante_ = new PeerProcess();
    micro_ = new PeerProcess();
  }
  static PeerProcess* Dante() {
    if (!dante_->running() && HaveProgram("danted")) {
      int port = FreePort();
      dir_->Write("sockd.conf", "logoutput: " + *dir_ / "sockd.log" +
                                    "\ninternal: 127.0.0.1 port = " + std::to_string(port) +
                                    "\nexternal: 127.0.0.1\nsocksmethod: none\n"
                                    "clientmethod: none\nclient pass {\n"
                                    "  from: 127.0.0.0/8 to: 0.0.0.0/0\n}\n"
                                    "socks pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n"
                                    "  protocol: tcp\n  command: connect\n}\n");
      dante_->Start({"danted", "-f", *dir_ / "sockd.conf", "-p", *dir_ / "sockd.pid", "-N", "1"},
                    port, *dir_ / "dante.out");
    }
    return dante_;
  }
  static PeerProcess* Microsocks() {
    if (!micro_->running() && HaveProgram("microsocks")) {
      int port = FreePort();
      micro_->Start({"microsocks", "-i", "127.0.0.1", "-p", std::to_string(port), "-u", "orin",
                     "-P", "s3cret"},
                    port, *dir_ / "microsocks.out");
    }
    return micro_;
  }
  static void TearDownTestSuite() {
    delete dante_;
    delete micro_;
    delete dir_;
  }

  SocksTest() { config_.SetInt(config_key::kTimeoutGlobal, 5); }
  void UseProxy(int port, int version, const std::string& user = "",
                const std::string& password = "") {
    config_.SetText(config_key::kSocksHost, "127.0.0.1");
    config_.SetInt(config_key::kSocksPort, port);
    config_.SetInt(config_key::kSocksVersion, version);
    config_.SetText(config_key::kSocksUsername, user);
    config_.SetText(config_key::kSocksPassword, password);
  }
  // Connects through the proxy to a pong peer and checks the answer.
  void ExpectPong(const std::string& host) {
    auto target = PongPeer();
    auto c = manager_.Connect(host, target->port(), 0);
    ASSERT_NE(c, nullptr) << manager_.ErrorText();
    ASSERT_EQ(c->Write("ping\n", 0), 5);
    std::string line;
    EXPECT_EQ(c->ReadLine(&line, 0, 64), 5) << c->ErrorText();
    EXPECT_EQ(line, "pong\n");
  }

  static TempDir* dir_;
  static PeerProcess* dante_;
  static PeerProcess* micro_;
  Config config_;
  NetworkManager manager_{&config_, nullptr};
};

TempDir* SocksTest::dir_;
PeerProcess* SocksTest::dante_;
PeerProcess* SocksTest::micro_;

TEST_F(SocksTest, DanteCarriesSocks4AndSocks5) {
  if (!Dante()->running()) GTEST_SKIP() << "danted not available";
  UseProxy(dante_->port(), 4, "someone");
  ExpectPong("localhost");  // resolved here: SOCKS 4 carries addresses only
  UseProxy(dante_->port(), 5);
  ExpectPong("127.0.0.1");
  ExpectPong("localhost");  // resolved by the proxy
}

TEST_F(SocksTest, MicrosocksNeedsTheRightPassword) {
  if (!Microsocks()->running()) GTEST_SKIP() << "microsocks not available";
  UseProxy(micro_->port(), 5, "orin", "s3cret");
  ExpectPong("127.0.0.1");
  UseProxy(micro_->port(), 5, "orin", "wrong");
  EXPECT_EQ(manager_.Connect("127.0.0.1", 9, 0), nullptr);
  EXPECT_EQ(manager_.ErrorText(), "SOCKS5: Authentication failed");
  // Without credentials only "no authentication" is offered; refused.
  UseProxy(micro_->port(), 5);
  EXPECT_EQ(manager_.Connect("127.0.0.1", 9, 0), nullptr);
  EXPECT_EQ(manager_.ErrorText(), "SOCKS5: No acceptable authentication methods");
}

TEST_F(SocksTest, Socks5SendsNamesToTheProxyAndAuthenticates) {
  RawPeer proxy([](Socket& s, RawPeer& p) {
    p.ReadBytes(s, 4);
    RawPeer::Send(s, std::string("\x05\x02", 2));
    p.ReadBytes(s, 3 + 4 + 6);
    RawPeer::Send(s, std::string("\x01\x00", 2));
    p.ReadBytes(s, 3 + 2 + 11 + 2);
    RawPeer::Send(s, std::string("\x05\x00\x00\x04", 4) + std::string(16, '\0') + "\x01\xbb");
    RawPeer::Send(s, "hello\n");
  });
  UseProxy(proxy.port(), 5, "user", "passwd");
  auto c = manager_.Connect("example.org", 443, 0);
  ASSERT_NE(c, nullptr) << manager_.ErrorText();
  std::string line;
  EXPECT_EQ(c->ReadLine(&line, 0, 64), 6);
  proxy.Stop();
  EXPECT_EQ(proxy.received(), std::string("\x05\x02\x00\x02"
                                          "\x01\x04user\x06passwd"
                                          "\x05\x01\x00\x03\x0b"
                                          "example.org\x01\xbb",
                                          4 + 13 + 5 + 11 + 2));
}

TEST_F(SocksTest, Socks5SendsNumericAddressesAsAddresses) {
  for (const char* host : {"10.1.2.3", "::1"}) {
    bool v6 = std::string(host) == "::1";
    RawPeer proxy([v6](Socket& s, RawPeer& p) {
      p.ReadBytes(s, 3);
      RawPeer::Send(s, std::string("\x05\x00", 2));
      p.ReadBytes(s, v6 ? 22 : 10);
      RawPeer::Send(s, std::string("\x05\x00\x00\x01\x00\x00\x00\x00\x00\x50", 10));
    });
    UseProxy(proxy.port(), 5);
    EXPECT_NE(manager_.Connect(host, 80, 0), nullptr) << manager_.ErrorText();
    proxy.Stop();
    std::string address = v6 ? std::string("\x04", 1) + std::string(15, '\0') + "\x01"
                             : std::string("\x01\x0a\x01\x02\x03", 5);
    EXPECT_EQ(proxy.received(),
              std::string("\x05\x01\x00\x05\x01\x00", 6) + address + std::string("\x00\x50", 2))
        << host;
  }
}

TEST_F(SocksTest, Socks4SendsResolvedAddressAndUserName) {
  RawPeer proxy([](Socket& s, RawPeer& p) {
    p.ReadBytes(s, 8 + 4);
    RawPeer::Send(s, std::string("\x00\x5a\x00\x00\x00\x00\x00\x00", 8));
  });
  UseProxy(proxy.port(), 4, "bob");
  auto c = manager_.Connect("localhost", 8080, 0);
  ASSERT_NE(c, nullptr) << manager_.ErrorText();
  proxy.Stop();
  EXPECT_EQ(proxy.received(), std::string("\x04\x01\x1f\x90\x7f\x00\x00\x01"
                                          "bob\x00",
                                          12));
}

struct BadAnswer {
  int version;
  std::string reply;  // after the greeting, where there is one
  const char* message;
};

TEST_F(SocksTest, ProxyAnswersThatEndTheExchange) {
  const BadAnswer cases[] = {
      {4, std::string("\x00\x5b\x00\x00\x00\x00\x00\x00", 8),
       "SOCKS4: Failed to connect to host (91)"},
      {4, std::string("\x04\x5a\x00\x00\x00\x00\x00\x00", 8), "SOCKS4: Unexpected version"},
      {4, std::string("\x00\x5a", 2),
       "SOCKS4: Connect read error: Connection closed by remote host"},
      {5, std::string("\x05\xff", 2), "SOCKS5: No acceptable authentication methods"},
      {5, std::string("\x04\x00", 2), "SOCKS5: Unexpected version"},
      {5, std::string("\x05\x00\x05\x02\x00\x01", 6), "SOCKS5: Connection not allowed by ruleset"},
      {5, std::string("\x05\x00\x05\x04\x00\x01", 6), "SOCKS5: Host unreachable"},
      {5, std::string("\x05\x00\x05\x05\x00\x01", 6), "SOCKS5: Failed to connect to host (5)"},
      {5, std::string("\x05\x00\x05\x00\x01\x01", 6), "SOCKS5: Unexpected response packet"},
      {5, std::string("\x05\x00\x05\x00\x00\x03", 6), "SOCKS5: Unexpected address type"},
      {5, std::string("\x05\x00\x05\x00\x00\x01\x7f\x00", 8),
       "SOCKS5: Client connection response error"},
  };
  for (const BadAnswer& bad : cases) {
    RawPeer proxy([&](Socket& s, RawPeer&) {
      RawPeer::Send(s, bad.reply);
      s.ShutdownWrite();
      char sink[256];
      while (s.Receive(sink, sizeof sink, 2000) > 0) {
      }
    });
    UseProxy(proxy.port(), bad.version);
    EXPECT_EQ(manager_.Connect("127.0.0.1", 80, 2), nullptr);
    EXPECT_EQ(manager_.ErrorText(), bad.message) << bad.version << " " << bad.message;
  }
}

TEST_F(SocksTest, SettingsThatCannotWork) {
  UseProxy(1, 6);
  EXPECT_EQ(manager_.Connect("127.0.0.1", 80, 1), nullptr);
  EXPECT_EQ(manager_.ErrorText(), "Unsupported SOCKS version");
  RawPeer proxy([](Socket&, RawPeer&) {});
  UseProxy(proxy.port(), 5, std::string(256, 'u'), "p");
  EXPECT_EQ(manager_.Connect("127.0.0.1", 80, 1), nullptr);
  EXPECT_EQ(manager_.ErrorText(), "SOCKS5: Username / password must be 255 characters or less");
  UseProxy(FreePort(), 4);
  EXPECT_EQ(manager_.Connect("no-such-host.invalid", 80, 1), nullptr);
  EXPECT_NE(manager_.ErrorText().find("Error connecting to 127.0.0.1 on port"), std::string::npos);
}

}  // namespace
}  // namespace orin
