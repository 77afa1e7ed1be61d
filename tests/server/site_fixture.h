// A running HTTPServer on a loopback port over a temporary site, with an
// environment that records settings loads and resolved paths, and a script
// runner whose runs answer with what they were given.
#ifndef ORIN_TESTS_SERVER_SITE_FIXTURE_H_
#define ORIN_TESTS_SERVER_SITE_FIXTURE_H_

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/client_request.h"
#include "server/directory_script_area.h"
#include "server/http_server.h"
#include "server/server_test_support.h"

namespace orin {
namespace testing_support {

class SiteEnvironment : public ServerEnvironment {
 public:
  explicit SiteEnvironment(const std::string& root) {
    settings_.bind_address = "127.0.0.1";
    settings_.port = 0;
    settings_.zetoroot = root;
  }

  ServerSettings LoadSettings() override {
    std::lock_guard<std::mutex> hold(m_);
    ++loads_;
    cv_.notify_all();
    return settings_;
  }
  std::unique_ptr<ScriptArea> NewScriptArea() override {
    return std::make_unique<LoggingArea>(this);
  }

  void Update(const std::function<void(ServerSettings&)>& change) {
    std::lock_guard<std::mutex> hold(m_);
    change(settings_);
  }
  bool WaitForLoads(int n) {
    return WaitFor([&] { return loads_ >= n; });
  }
  int loads() {
    std::lock_guard<std::mutex> hold(m_);
    return loads_;
  }
  // Request paths in the order the connection threads resolved them.
  std::vector<std::string> resolved() {
    std::lock_guard<std::mutex> hold(m_);
    return resolved_;
  }
  bool WaitForResolved(size_t n) {
    return WaitFor([&] { return resolved_.size() >= n; });
  }

 private:
  class LoggingArea : public DirectoryScriptArea {
   public:
    explicit LoggingArea(SiteEnvironment* env) : env_(env) {}
    bool Resolve(std::string_view path, std::string* file, bool* dir,
                 FileIdentity* identity = nullptr) override {
      {
        std::lock_guard<std::mutex> hold(env_->m_);
        env_->resolved_.emplace_back(path);
        env_->cv_.notify_all();
      }
      return DirectoryScriptArea::Resolve(path, file, dir, identity);
    }

   private:
    SiteEnvironment* env_;
  };

  template <typename F>
  bool WaitFor(F&& done) {
    std::unique_lock<std::mutex> hold(m_);
    return cv_.wait_for(hold, std::chrono::milliseconds(kGuardMillis), done);
  }

  std::mutex m_;
  std::condition_variable cv_;
  ServerSettings settings_;
  int loads_ = 0;
  std::vector<std::string> resolved_;
};

// A run that reads the body announced by Content-Length, optionally waits
// to be ticked by the watchdog, and answers with what it saw.
class EchoApplication : public ScriptApplication {
 public:
  EchoApplication(ClientRequest& request, std::string script_path, std::string file_path,
                  bool wait_for_tick)
      : request_(request),
        script_path_(std::move(script_path)),
        file_path_(std::move(file_path)),
        wait_for_tick_(wait_for_tick) {}

  void Tick(int64_t) override {
    std::lock_guard<std::mutex> hold(m_);
    ticked_ = true;
    cv_.notify_all();
  }
  void Abort() override {}

  int Run() override {
    std::string body;
    if (const ByteString* length = request_.Header("Content-Length")) {
      body.resize(std::stoul(length->str()));
      int32_t n = request_.ReadBody(body.data(), static_cast<int32_t>(body.size()));
      body.resize(n > 0 ? n : 0);
    }
    bool ticked = false;
    if (wait_for_tick_) {
      std::unique_lock<std::mutex> hold(m_);
      ticked = cv_.wait_for(hold, std::chrono::milliseconds(kGuardMillis), [&] { return ticked_; });
    }
    std::string out = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nscript=" + script_path_ +
                      "\nfile=" + file_path_ + "\nbody=" + body +
                      "\nticked=" + (ticked ? "yes" : "no");
    request_.connection()->Send(out);
    return 0;
  }

 private:
  ClientRequest& request_;
  std::string script_path_, file_path_;
  bool wait_for_tick_;
  std::mutex m_;
  std::condition_variable cv_;
  bool ticked_ = false;
};

class EchoRunner : public ScriptRunner {
 public:
  explicit EchoRunner(bool wait_for_tick = false) : wait_for_tick_(wait_for_tick) {}
  std::unique_ptr<ScriptApplication> CreateApplication(ClientRequest& request,
                                                       const std::string& script_path,
                                                       const std::string& file_path,
                                                       const FileIdentity&) override {
    return std::make_unique<EchoApplication>(request, script_path, file_path, wait_for_tick_);
  }

 private:
  bool wait_for_tick_;
};

class SiteTest : public ::testing::Test {
 protected:
  SiteTest() : env_(site_.str()) {}
  ~SiteTest() override {
    if (server_) server_->StopListening();
  }

  // Starts the server on a free loopback port.
  void StartServer(int wait_millis = 30000, int tick_millis = ThreadManager::kDefaultTickMillis,
                   ScriptRunner* runner = nullptr) {
    env_.Update([&](ServerSettings& s) { s.wait_millis = wait_millis; });
    server_ = std::make_unique<HTTPServer>(env_, tick_millis);
    server_->SetScriptRunner(runner);
    ASSERT_TRUE(server_->Listen()) << server_->ErrorText();
    port_ = server_->port();
    ASSERT_GT(port_, 0);
  }

  TempDir site_;
  SiteEnvironment env_;
  EchoRunner runner_;
  EchoRunner ticking_runner_{true};
  std::unique_ptr<HTTPServer> server_;
  int port_ = -1;
};

}  // namespace testing_support
}  // namespace orin

#endif  // ORIN_TESTS_SERVER_SITE_FIXTURE_H_
