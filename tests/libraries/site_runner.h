// Runs assembled programs in-process the way `orin run` does, in a fresh
// site (script root, data directory, settings file) whose settings name
// the given libraries.
#ifndef ORIN_TESTS_LIBRARIES_SITE_RUNNER_H_
#define ORIN_TESTS_LIBRARIES_SITE_RUNNER_H_

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/command_line_request.h"
#include "app/orin_application.h"
#include "asm/assembler.h"
#include "platform/process_info.h"
#include "util/byte_sink.h"

namespace orin {

inline std::string PluginPath(const std::string& name) {
  return std::string(ORIN_TEST_PLUGIN_DIR) + "/lib" + name + ".so";
}

class StringSink : public ByteSink {
 public:
  int32_t SendSome(const char* data, int32_t length) override {
    text.append(data, static_cast<size_t>(length));
    return length;
  }
  int WaitWritable(int32_t) override { return 1; }
  const std::string& ErrorText() const override { return error_; }
  std::string text;

 private:
  std::string error_;
};

class TestSite {
 public:
  // `libraries` are entries of the "libraries" setting ("b,n/a,<path>").
  explicit TestSite(const std::vector<std::string>& libraries, const std::string& extra = "") {
    static std::atomic<int> counter{0};
    dir_ =
        std::filesystem::temp_directory_path() /
        ("orin-libraries-" + std::to_string(CurrentProcessId()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(dir_ / "html");
    std::filesystem::create_directories(dir_ / "data");
    std::ofstream config(dir_ / "vm.toml");
    config << "zetoroot = \"" << (dir_ / "html").string() << "\"\n";
    config << "datadir = \"" << (dir_ / "data").string() << "\"\n";
    config << extra;
    config << "libraries = [";
    for (size_t i = 0; i < libraries.size(); ++i)
      config << (i ? ", " : "") << "\"" << libraries[i] << "\"";
    config << "]\n";
  }
  ~TestSite() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  ConfigFiles files() const { return ConfigFiles{(dir_ / "vm.toml").string(), ""}; }
  const std::filesystem::path& dir() const { return dir_; }

  // Assembles `source` to /<name> and runs it; the response body, or with
  // `whole` the whole response.
  std::string Run(const std::string& source, bool whole = false,
                  const std::string& name = "test.ztc") {
    std::string error;
    std::string bytes = AssembleOrEmpty(source, &error);
    if (bytes.empty()) return "assembly failed: " + error;
    std::ofstream(dir_ / "html" / name, std::ios::binary) << bytes;
    return RunAssembled("/" + name, whole);
  }

  // Runs an already written program (safe from several threads at once).
  std::string RunAssembled(const std::string& path, bool whole = false) {
    StringSink sink;
    BodyOnlySink body(&sink);
    CommandLineRequest request("GET", path, nullptr, {}, nullptr, 0,
                               whole ? static_cast<ByteSink*>(&sink) : &body, "localhost", 80);
    RunSettings settings;
    settings.files = files();
    OrinApplication app(&request, path, std::move(settings));
    app.Run();
    return sink.text;
  }

 private:
  std::filesystem::path dir_;
};

}  // namespace orin

#endif  // ORIN_TESTS_LIBRARIES_SITE_RUNNER_H_
