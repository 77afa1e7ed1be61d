// The server's answers, end to end over loopback sockets.
#include "server/http_server.h"

#include <gtest/gtest.h>

#include <string>

#include "server/site_fixture.h"

namespace orin {
namespace {

using testing_support::BodyOf;
using testing_support::Fetch;
using testing_support::Get;
using testing_support::SiteTest;

const std::string kPageHead =
    "Server: Zeto Orin/Zeto Virtual Machine\r\n"
    "Connection: close\r\n"
    "\r\n"
    "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 2.0//EN\">\r\n"
    "<HTML>\r\n";

std::string Expected404(const std::string& path) {
  return "HTTP/1.1 404 Not Found\r\n" + kPageHead +
         "<HEAD><TITLE>404 Not Found</TITLE></HEAD>\r\n"
         "<BODY>\r\n"
         "<H1>Not Found</H1>\r\n"
         "The file '" +
         path +
         "' was not found on this server\r\n"
         "</BODY>\r\n"
         "</HTML>";
}

std::string Expected200(const std::string& type, const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Type: " + type +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
         body;
}

// Lengths and types of ordinary files are checked end to end; these are
// the odd cases: no extension, upper-case extension, empty file, and
// backslashes as separators.
TEST_F(SiteTest, StaticFilesWithOddNames) {
  site_.Write("img/logo.png", std::string("\x89PNG\0\1", 7));
  site_.Write("README", "no extension\n");
  site_.Write("style.CSS", "body{}");
  site_.Write("empty.txt", "");
  StartServer();
  EXPECT_EQ(Get(port_, "/README"), Expected200("text/plain", "no extension\n"));
  EXPECT_EQ(Get(port_, "/style.CSS"), Expected200("text/css", "body{}"));
  EXPECT_EQ(Get(port_, "/empty.txt"), Expected200("text/plain", ""));
  EXPECT_EQ(Get(port_, "\\img\\logo.png"), Expected200("image/png", std::string("\x89PNG\0\1", 7)));
}

TEST_F(SiteTest, DirectoriesGoThroughTheDefaultFile) {
  site_.Write("a/index.ztc", "compiled");
  site_.Write("a/UPPER.ZTC", "compiled");
  site_.Write("b/other.txt", "x");
  site_.Write("c/index.ztc/inner.txt", "a directory named like the default file");
  StartServer(30000, ThreadManager::kDefaultTickMillis, &runner_);
  const std::string file = site_.str() + "/a/index.ztc";
  for (const char* path : {"/a/", "/a"}) {
    std::string body = BodyOf(Get(port_, path));
    EXPECT_NE(body.find("script=/a/index.ztc\nfile=" + file + "\n"), std::string::npos)
        << path << ": " << body;
  }
  EXPECT_NE(BodyOf(Get(port_, "/a/UPPER.ZTC")).find("script=/a/UPPER.ZTC\n"), std::string::npos);
  // No default file, or one that is a directory: 404 naming the path asked for.
  EXPECT_EQ(Get(port_, "/b"), Expected404("/b"));
  EXPECT_EQ(Get(port_, "/c/"), Expected404("/c/"));
  EXPECT_EQ(Get(port_, "/"), Expected404("/"));
}

TEST_F(SiteTest, CompiledScriptWithoutRunnerGets500) {
  site_.Write("run.ztc", "compiled");
  StartServer();
  EXPECT_EQ(Get(port_, "/run.ztc"),
            "HTTP/1.1 500 Internal Server Error\r\n" + kPageHead +
                "<HEAD><TITLE>500 Internal Server Error</TITLE></HEAD>\r\n<BODY>\r\n"
                "<H1>Internal Server Error</H1>\r\n"
                "The script '/run.ztc' cannot be run: no script runner is installed\r\n"
                "</BODY>\r\n</HTML>");
}

// The run is the thread's current application (the watchdog ticks it) and
// reads the body: what came with the headers, then the rest from the socket.
TEST_F(SiteTest, ScriptRunIsTickedAndReadsItsBody) {
  site_.Write("post.ztc", "compiled");
  StartServer(30000, 20, &ticking_runner_);
  Socket s = testing_support::Connect(port_);
  std::string head = "POST /post.ztc HTTP/1.1\r\nContent-Length: 11\r\n\r\nhello";
  ASSERT_EQ(s.SendAll(head.data(), static_cast<int32_t>(head.size()), 1000),
            static_cast<int32_t>(head.size()));
  ASSERT_TRUE(env_.WaitForResolved(1));  // the request is being served
  ASSERT_EQ(s.SendAll(" world", 6, 1000), 6);
  std::string body = BodyOf(testing_support::ReadToClose(s));
  EXPECT_NE(body.find("body=hello world\n"), std::string::npos) << body;
  EXPECT_NE(body.find("ticked=yes"), std::string::npos) << body;
}

TEST_F(SiteTest, MethodAndProtocolDoNotMatter) {
  site_.Write("hello.txt", "hello");
  StartServer();
  EXPECT_EQ(Fetch(port_, "GET /hello.txt\r\n\r\n"), Expected200("text/plain", "hello"));
  EXPECT_EQ(Fetch(port_, "BREW /hello.txt HTCPCP/1.0\n\n"), Expected200("text/plain", "hello"));
}

}  // namespace
}  // namespace orin
