// A port counts as in use exactly while a socket holds it.
#include <gtest/gtest.h>

#include "platform/socket.h"

namespace orin {
namespace {

TEST(TcpPortInUseTest, FollowsTheListener) {
  int port = -1;
  {
    Socket listener;
    std::string error;
    ASSERT_EQ(ListenTcp("", 0, 1, &listener, &error), ListenStatus::kListening) << error;
    port = listener.LocalPort();
    EXPECT_TRUE(TcpPortInUse(port));
  }
  EXPECT_FALSE(TcpPortInUse(port));
  // A listener on the loopback address alone blocks binding every interface.
  Socket loopback;
  std::string error;
  ASSERT_EQ(ListenTcp("127.0.0.1", port, 1, &loopback, &error), ListenStatus::kListening) << error;
  EXPECT_TRUE(TcpPortInUse(port));
}

TEST(TcpPortInUseTest, ImpossiblePortsAreNotBusy) {
  EXPECT_FALSE(TcpPortInUse(-1));
  EXPECT_FALSE(TcpPortInUse(65536));
}

}  // namespace
}  // namespace orin
