// Streams over ordinary paths, for the tools and tests that read and write
// compiled files outside any sandbox.
#ifndef ORIN_PLATFORM_PLAIN_FILE_H_
#define ORIN_PLATFORM_PLAIN_FILE_H_

#include <string>

#include "util/stream.h"

namespace orin {

class PlainFile : public Stream {
 public:
  // Opens with the OpenMode bits of util/stream.h; check ok() afterwards.
  PlainFile(const std::string& path, uint32_t mode);
  ~PlainFile() override;
  PlainFile(const PlainFile&) = delete;
  PlainFile& operator=(const PlainFile&) = delete;

  bool ok() const { return fd_ >= 0; }
  int64_t Seek(int64_t offset) override;
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  const std::string& ErrorText() const override { return error_; }

 private:
  void SetErrno(int err);
  int fd_ = -1;
  std::string error_;
};

class PlainFileOpener : public StreamOpener {
 public:
  Stream* OpenStream(std::string_view name, uint32_t mode) override;
  void CloseStream(Stream* stream) override { delete stream; }
  const std::string& ErrorText() const override { return error_; }

 private:
  std::string error_;
};

// The operating system's text for an errno value.
std::string SystemErrorText(int err);

}  // namespace orin

#endif  // ORIN_PLATFORM_PLAIN_FILE_H_
