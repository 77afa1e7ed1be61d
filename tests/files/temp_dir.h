// A real directory under the system's temporary directory, removed with
// everything in it at the end of the test.
#ifndef ORIN_TESTS_FILES_TEMP_DIR_H_
#define ORIN_TESTS_FILES_TEMP_DIR_H_

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace orin {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orin-files-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    // Read-only leftovers must not stop the clean-up.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

  void Write(std::string_view name, std::string_view content) const {
    std::filesystem::path p = *this / name;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
  }
  std::string Read(std::string_view name) const {
    std::ifstream in(*this / name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  bool Has(std::string_view name) const {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(*this / name, ec));
  }
  void MakeDir(std::string_view name) const { std::filesystem::create_directories(*this / name); }
  void Link(std::string_view name, const std::string& target) const {
    std::filesystem::create_symlink(target, *this / name);
  }

 private:
  std::string path_;
};

}  // namespace orin

#endif  // ORIN_TESTS_FILES_TEMP_DIR_H_
