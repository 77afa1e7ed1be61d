// The connection threads under load, slow and broken clients, reload and
// stop, over real loopback sockets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/http_server.h"
#include "server/site_fixture.h"

namespace orin {
namespace {

using testing_support::BodyOf;
using testing_support::Connect;
using testing_support::Get;
using testing_support::kGuardMillis;
using testing_support::ReadToClose;
using testing_support::SiteTest;

void Send(Socket& s, const std::string& bytes) {
  ASSERT_EQ(s.SendAll(bytes.data(), static_cast<int32_t>(bytes.size()), kGuardMillis),
            static_cast<int32_t>(bytes.size()));
}

TEST_F(SiteTest, RequestArrivingOneByteAtATime) {
  site_.Write("hello.txt", "hello");
  StartServer();
  Socket s = Connect(port_);
  ASSERT_TRUE(s.SetNoDelay());
  for (char c : std::string("GET /hello.txt HTTP/1.0\r\nHost: x\r\nAccept: */*\r\n\r\n")) {
    ASSERT_EQ(s.SendAll(&c, 1, kGuardMillis), 1);
  }
  EXPECT_EQ(BodyOf(ReadToClose(s)), "hello");
}

TEST_F(SiteTest, SilentClientsAndCutRequestsUnderAShortWait) {
  site_.Write("hello.txt", "hello");
  StartServer(200);
  // Nothing at all, then a close: no answer, and the thread carries on.
  Socket closer = Connect(port_);
  closer.ShutdownWrite();
  EXPECT_EQ(ReadToClose(closer), "");
  // Nothing, and the connection kept open: dropped when the wait runs out.
  Socket silent = Connect(port_);
  EXPECT_EQ(ReadToClose(silent), "");
  // A request line without its end: served with what came once the wait ran out.
  Socket cut = Connect(port_);
  Send(cut, "GET /hello.txt");
  EXPECT_EQ(BodyOf(ReadToClose(cut)), "hello");
  EXPECT_EQ(BodyOf(Get(port_, "/hello.txt")), "hello");
}

TEST_F(SiteTest, ReloadReachesEveryThread) {
  site_.Write("home.html", "<p>home</p>");
  StartServer();
  // Listen read the settings once, each thread once more.
  ASSERT_TRUE(env_.WaitForLoads(1 + HTTPServer::kThreadCount));
  EXPECT_NE(Get(port_, "/").find("404 Not Found"), std::string::npos);

  env_.Update([](ServerSettings& s) { s.defaultfile = "home.html"; });
  server_->NotifyConfigChanged();
  ASSERT_TRUE(env_.WaitForLoads(1 + 2 * HTTPServer::kThreadCount));
  // Whichever thread answers now has the new default file.
  for (int i = 0; i < 2 * HTTPServer::kThreadCount; ++i) {
    EXPECT_EQ(BodyOf(Get(port_, "/")), "<p>home</p>");
  }
  EXPECT_EQ(env_.loads(), 1 + 2 * HTTPServer::kThreadCount);
}

TEST_F(SiteTest, StopLeavesNoThreadAndListenStartsAgain) {
  site_.Write("hello.txt", "hello");
  StartServer();
  // The connection threads and the head collector.
  EXPECT_EQ(server_->ThreadCount(), static_cast<size_t>(HTTPServer::kThreadCount + 1));
  EXPECT_FALSE(server_->HostName().empty());
  int old_port = port_;
  server_->StopListening();
  EXPECT_FALSE(server_->listening());
  EXPECT_EQ(server_->ThreadCount(), 0u);
  Socket refused;
  std::string error;
  EXPECT_FALSE(ConnectTcp("127.0.0.1", old_port, &refused, &error));

  ASSERT_TRUE(server_->Listen()) << server_->ErrorText();
  EXPECT_EQ(server_->ThreadCount(), static_cast<size_t>(HTTPServer::kThreadCount + 1));
  EXPECT_EQ(BodyOf(Get(server_->port(), "/hello.txt")), "hello");
}

TEST_F(SiteTest, ListenFailures) {
  Socket taken;
  std::string error;
  ASSERT_EQ(ListenTcp("127.0.0.1", 0, 1, &taken, &error), ListenStatus::kListening) << error;
  env_.Update([&](ServerSettings& s) { s.port = taken.LocalPort(); });
  HTTPServer server(env_);
  EXPECT_FALSE(server.Listen());
  EXPECT_TRUE(server.port_in_use());
  EXPECT_FALSE(server.ErrorText().empty());
  EXPECT_EQ(server.ThreadCount(), 0u);

  env_.Update([](ServerSettings& s) {
    s.port = 0;
    s.bind_address = "not-an-address";
  });
  EXPECT_FALSE(server.Listen());
  EXPECT_FALSE(server.port_in_use());
  EXPECT_EQ(server.ErrorText().rfind("Error in HTTPServer::Listen(): ", 0), 0u)
      << server.ErrorText();
  EXPECT_FALSE(server.listening());
}

}  // namespace
}  // namespace orin
