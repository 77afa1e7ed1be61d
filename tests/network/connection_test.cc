// Plain TCP connections against a raw peer: connect failures, reads, line
// reads and writes with their time-outs and messages.
#include <gtest/gtest.h>

#include <string>

#include "network/http_response.h"
#include "network/network_manager.h"
#include "raw_peer.h"
#include "util/config.h"

namespace orin {
namespace {

class ConnectionTest : public ::testing::Test {
 protected:
  ConnectionTest() { config_.SetInt(config_key::kTimeoutGlobal, 5); }
  Config config_;
  NetworkManager manager_{&config_, nullptr};
};

// A port that was free a moment ago: nothing listens there.
int ClosedPort() {
  Socket s;
  std::string e;
  ListenTcp("127.0.0.1", 0, 1, &s, &e);
  return s.LocalPort();
}

TEST_F(ConnectionTest, ConnectFailuresNameHostAndPort) {
  int port = ClosedPort();
  EXPECT_EQ(manager_.Connect("127.0.0.1", port, 2), nullptr);
  EXPECT_EQ(manager_.ErrorText(), "Error connecting to 127.0.0.1 on port " + std::to_string(port) +
                                      ": Connection failed");
  EXPECT_EQ(manager_.Connect("no-such-host.invalid", 80, 2), nullptr);
  EXPECT_EQ(manager_.ErrorText(), "Error looking up 'no-such-host.invalid'");
}

TEST_F(ConnectionTest, LineReadKeepsTheLineEndAndLeavesTheRest) {
  RawPeer peer([](Socket& s, RawPeer& p) {
    // Split writes: the reader must join pieces and stop at each line feed.
    RawPeer::Send(s, "ab");
    s.WaitReadable(100);
    RawPeer::Send(s, "c\nsecond line\r\nrest");
    p.ReadBytes(s, 4);
  });
  auto c = manager_.Connect("localhost", peer.port(), 0);
  ASSERT_NE(c, nullptr) << manager_.ErrorText();
  EXPECT_FALSE(c->peer_address().empty());
  std::string line;
  EXPECT_EQ(c->ReadLine(&line, 0, 2), 4);
  EXPECT_EQ(line, "abc\n");
  EXPECT_EQ(c->ReadLine(&line, 0, 512), 13);
  EXPECT_EQ(line, "second line\r\n");
  char buf[16];
  EXPECT_EQ(c->Read(buf, sizeof buf, 0), 4);
  EXPECT_EQ(std::string(buf, 4), "rest");
  EXPECT_EQ(c->Write("done", 0), 4);
  peer.Stop();
  EXPECT_EQ(peer.received(), "done");
  // The peer has gone: a read sees the end, a line read says so.
  EXPECT_EQ(c->Read(buf, sizeof buf, 1), 0);
  EXPECT_EQ(c->ReadLine(&line, 1, 16), -1);
  EXPECT_EQ(c->ErrorText(), "Read Error: Connection closed by remote host");
  EXPECT_EQ(line, "");
}

TEST_F(ConnectionTest, LineLongerThanTheLimitIsRefused) {
  RawPeer peer([](Socket& s, RawPeer& p) {
    RawPeer::Send(s, "short\n" + std::string(100000, 'x') + "\n");
    p.HoldOpen(s);
  });
  auto c = manager_.Connect("127.0.0.1", peer.port(), 0);
  ASSERT_NE(c, nullptr);
  c->set_line_limit(1000);
  std::string line;
  EXPECT_EQ(c->ReadLine(&line, 0, 256), 6);
  EXPECT_EQ(c->ReadLine(&line, 0, 256), -1);
  EXPECT_EQ(c->ErrorText(), "Read Error: Line too long");
  EXPECT_EQ(line, "");
}

TEST_F(ConnectionTest, UnfinishedLineAtCloseIsAnErrorAndEmptiesTheText) {
  RawPeer peer([](Socket& s, RawPeer&) { RawPeer::Send(s, "no line end"); });
  auto c = manager_.Connect("127.0.0.1", peer.port(), 0);
  ASSERT_NE(c, nullptr);
  std::string line = "old";
  EXPECT_EQ(c->ReadLine(&line, 0, 4), -1);
  EXPECT_EQ(line, "");
  EXPECT_EQ(c->ErrorText(), "Read Error: Connection closed by remote host");
}

TEST_F(ConnectionTest, SilentPeerTimesOutReadsAndLineReads) {
  RawPeer peer([](Socket& s, RawPeer& p) { p.HoldOpen(s); });
  auto c = manager_.Connect("127.0.0.1", peer.port(), 0);
  ASSERT_NE(c, nullptr);
  char buf[4];
  EXPECT_EQ(c->Read(buf, sizeof buf, 1), -1);
  EXPECT_EQ(c->ErrorText(), "Read Timeout");
  std::string line;
  EXPECT_EQ(c->ReadLine(&line, 1, 16), -1);
  EXPECT_EQ(c->ErrorText(), "Read Timeout");
}

TEST_F(ConnectionTest, ZeroTimeOutsEverywhereWaitWithoutLimit) {
  // A late answer must still arrive: 0 is "no limit", not "do not wait".
  config_.SetInt(config_key::kTimeoutGlobal, 0);
  RawPeer peer([](Socket& s, RawPeer&) {
    s.WaitReadable(300);
    RawPeer::Send(s, "late\n");
  });
  auto c = manager_.Connect("127.0.0.1", peer.port(), 0);
  ASSERT_NE(c, nullptr);
  std::string line;
  EXPECT_EQ(c->ReadLine(&line, 0, 16), 5) << c->ErrorText();
  EXPECT_EQ(manager_.WaitSeconds(0), -1);
  EXPECT_EQ(manager_.WaitSeconds(7), 7);
}

TEST_F(ConnectionTest, LargeWriteArrivesWholeThroughAFullSocket) {
  std::string data(4 << 20, '\0');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i * 7 + (i >> 13));
  RawPeer peer([&](Socket& s, RawPeer& p) {
    s.WaitReadable(300);  // let the client fill the socket first
    p.ReadBytes(s, data.size());
  });
  auto c = manager_.Connect("127.0.0.1", peer.port(), 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->Write(data.data(), static_cast<int32_t>(data.size()), 0),
            static_cast<int32_t>(data.size()));
  peer.Stop();
  EXPECT_TRUE(peer.received() == data);
}

TEST_F(ConnectionTest, WriteToAPeerThatNeverReadsTimesOut) {
  RawPeer peer([](Socket& s, RawPeer& p) {
    while (!p.stopping())
      s.WaitReadable(50);
  });
  auto c = manager_.Connect("127.0.0.1", peer.port(), 0);
  ASSERT_NE(c, nullptr);
  std::string data(64 << 20, 'x');
  EXPECT_EQ(c->Write(data.data(), static_cast<int32_t>(data.size()), 1), -1);
  EXPECT_EQ(c->ErrorText(), "Write Timeout");
}

TEST_F(ConnectionTest, ClosedConnectionCannotBeUsed) {
  NetworkConnection c(&manager_);
  char buf[1];
  EXPECT_EQ(c.Read(buf, 1, 1), -1);
  EXPECT_EQ(c.ErrorText(), "Read Error: Socket is not connected");
  EXPECT_EQ(c.Write("x", 1), -1);
  EXPECT_EQ(c.ErrorText(), "Write Error: Socket is not connected");
  EXPECT_FALSE(c.StartTls("", nullptr, nullptr, 1, 0));
  EXPECT_EQ(c.ErrorText(), "TCP connection not established");
}

TEST_F(ConnectionTest, OneCallHttpRequestForPlugIns) {
  RawPeer peer([](Socket& s, RawPeer& p) {
    p.ReadUntil(s, "\r\n\r\n");
    p.ReadBytes(s, 3);
    RawPeer::Send(s, "HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone");
  });
  std::string body = "a=1";
  std::string url = "http://127.0.0.1:" + std::to_string(peer.port()) + "/q";
  auto r =
      HttpResponse::Request(&manager_, url, "POST", "text/plain", &body, "", TlsOptions(), 0, 0);
  EXPECT_EQ(r->StatusCode(), 404) << r->ErrorText();
  EXPECT_EQ(r->ContentLength(), 4);
  char buf[16];
  EXPECT_EQ(r->Read(buf, sizeof buf), 4);
  EXPECT_EQ(std::string(buf, 4), "gone");
  EXPECT_EQ(r->Read(buf, sizeof buf), 0);
  peer.Stop();
  EXPECT_EQ(peer.received(), "POST /q HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(peer.port()) +
                                 "\r\nContent-Type: text/plain\r\nContent-Length: 3\r\n"
                                 "Connection: close\r\n\r\na=1");
  int closed = ClosedPort();
  r = HttpResponse::Request(&manager_, "http://127.0.0.1:" + std::to_string(closed) + "/", "", "",
                            nullptr, "", TlsOptions(), 1, 0);
  EXPECT_EQ(r->StatusCode(), -1);
  EXPECT_EQ(r->ErrorText().rfind("Unable to open URL 'http://127.0.0.1:", 0), 0u);
  EXPECT_EQ(r->Read(buf, sizeof buf), -1);
}

TEST(AddressTest, NumericFormsAndUrlParts) {
  Config config;
  NetworkManager m(&config, nullptr);
  EXPECT_TRUE(m.IsIPv4Address("10.0.0.1"));
  EXPECT_FALSE(m.IsIPv4Address("10.0.0"));
  EXPECT_TRUE(m.IsIPv6Address("::1"));
  EXPECT_FALSE(m.IsIpAddress("example.com"));
  EXPECT_EQ(m.NumericAddress("0:0:0:0:0:0:0:1"), "::1");
  EXPECT_TRUE(m.SameAddress("::1", "0::1"));
  uint8_t b[4];
  EXPECT_FALSE(m.IPv4ToBytes("1.2.3.400", b));
  EXPECT_EQ(m.ErrorText(), "Invalid IP address");

  UrlParts u;
  ASSERT_TRUE(m.SplitUrl("https://[::1]:8443/a/b?c=d", &u));
  EXPECT_EQ(u.scheme, "https");
  EXPECT_EQ(u.host, "::1");
  EXPECT_EQ(u.port, "8443");
  EXPECT_EQ(u.path, "a/b?c=d");
  ASSERT_TRUE(m.SplitUrl("http://host", &u));
  EXPECT_EQ(u.host, "host");
  EXPECT_EQ(u.port, "");
  EXPECT_EQ(u.path, "");
  EXPECT_FALSE(m.SplitUrl("host/path", &u));
  EXPECT_EQ(m.ErrorText(), "Malformed URL");
}

TEST(OpenUrlTest, RefusesWhatAPlainConnectionCannotGive) {
  Config config;
  NetworkManager m(&config, nullptr);
  TlsOptions none;
  EXPECT_EQ(m.OpenUrl("ftp", "h", "", none, 1, 0), nullptr);
  EXPECT_EQ(m.ErrorText(), "Unsupported protocol 'ftp'");
  EXPECT_EQ(m.OpenUrl("HTTP", "h", "", none, 1, kNetworkRequireSecure), nullptr);
  EXPECT_EQ(m.ErrorText(), "Request requires a secure connection");
  TlsOptions pinned;
  pinned.pin_algorithm = "sha256";
  pinned.pin_fingerprint = "x";
  EXPECT_EQ(m.OpenUrl("http", "h", "", pinned, 1, 0), nullptr);
  EXPECT_EQ(m.ErrorText(), "Certificate pinning requested for non-secure connection");
}

}  // namespace
}  // namespace orin
