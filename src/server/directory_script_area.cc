#include "server/directory_script_area.h"

#include <filesystem>
#include <system_error>

#include "platform/plain_file.h"

namespace orin {

namespace fs = std::filesystem;

bool DirectoryScriptArea::SetRoot(const std::string& root) {
  root_.clear();
  if (root.empty()) return Fail("The script root is not defined");
  std::error_code ec;
  fs::path real = fs::canonical(root, ec);
  if (ec || !fs::is_directory(real, ec)) return Fail("The script root is not a directory");
  root_ = real.string();
  return true;
}

bool DirectoryScriptArea::Inside(const std::string& path) const {
  std::error_code ec;
  std::string real = fs::canonical(path, ec).string();
  if (ec) return false;
  if (real == root_) return true;
  return real.size() > root_.size() && real.compare(0, root_.size(), root_) == 0 &&
         (root_.back() == '/' || real[root_.size()] == '/');
}

bool DirectoryScriptArea::Resolve(std::string_view request_path, std::string* file_path,
                                  bool* is_directory, FileIdentity* identity) {
  if (identity != nullptr) *identity = FileIdentity();
  if (root_.empty()) return Fail("The script root is not defined");
  std::string path = root_;
  size_t i = 0;
  while (i <= request_path.size()) {
    size_t end = request_path.find_first_of("/\\", i);
    if (end == std::string_view::npos) end = request_path.size();
    std::string_view part = request_path.substr(i, end - i);
    i = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == ".." || part.find('\0') != std::string_view::npos) {
      return Fail("The path is outside the script area");
    }
    if (path.back() != '/') path += '/';
    path.append(part);
  }
  std::error_code ec;
  fs::file_status status = fs::status(path, ec);
  if (ec || !fs::exists(status)) return Fail("File not found");
  if (!Inside(path)) return Fail("The path is outside the script area");
  *file_path = path;
  *is_directory = fs::is_directory(status);
  return true;
}

std::unique_ptr<Stream> DirectoryScriptArea::OpenForReading(const std::string& file_path,
                                                            int64_t* size) {
  std::error_code ec;
  if (!fs::is_regular_file(file_path, ec)) {
    Fail("Not a regular file");
    return nullptr;
  }
  auto file = std::make_unique<PlainFile>(file_path, kOpenRead);
  if (!file->ok()) {
    error_ = file->ErrorText();
    return nullptr;
  }
  uintmax_t bytes = fs::file_size(file_path, ec);
  if (ec) {
    error_ = ec.message();
    return nullptr;
  }
  *size = static_cast<int64_t>(bytes);
  return file;
}

}  // namespace orin
