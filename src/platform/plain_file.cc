#include "platform/plain_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orin {

std::string SystemErrorText(int err) {
  char buf[256];
  // GNU strerror_r returns the text, which may or may not be in buf.
  const char* text = strerror_r(err, buf, sizeof buf);
  return text ? std::string(text) : "Unknown error " + std::to_string(err);
}

PlainFile::PlainFile(const std::string& path, uint32_t mode) {
  int flags = O_CLOEXEC;
  bool read = mode & kOpenRead, write = mode & (kOpenWrite | kOpenAppend);
  flags |= (read && write) ? O_RDWR : (write ? O_WRONLY : O_RDONLY);
  if (mode & kOpenCreateNew) {
    flags |= O_CREAT | O_EXCL;
  } else if (mode & kOpenCreate) {
    flags |= O_CREAT;
  }
  if (mode & kOpenTruncate) flags |= O_TRUNC;
  do {
    fd_ = ::open(path.c_str(), flags, 0644);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) {
    SetErrno(errno);
    return;
  }
  if ((mode & kOpenAppend) && ::lseek(fd_, 0, SEEK_END) < 0) SetErrno(errno);
}

PlainFile::~PlainFile() {
  if (fd_ >= 0) ::close(fd_);
}

void PlainFile::SetErrno(int err) { error_ = SystemErrorText(err); }

int64_t PlainFile::Seek(int64_t offset) {
  off_t r = ::lseek(fd_, offset, SEEK_SET);
  if (r < 0) {
    SetErrno(errno);
    return -1;
  }
  return r;
}

int32_t PlainFile::Read(void* buffer, int32_t count) {
  if (count < 0) {
    error_ = "Invalid size";
    return -1;
  }
  auto* p = static_cast<char*>(buffer);
  int32_t done = 0;
  while (done < count) {
    ssize_t n = ::read(fd_, p + done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      SetErrno(errno);
      return done > 0 ? done : -1;
    }
    if (n == 0) break;
    done += static_cast<int32_t>(n);
  }
  return done;
}

int32_t PlainFile::Write(const void* buffer, int32_t count) {
  if (count < 0) {
    error_ = "Invalid size";
    return -1;
  }
  const auto* p = static_cast<const char*>(buffer);
  int32_t done = 0;
  while (done < count) {
    ssize_t n = ::write(fd_, p + done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      SetErrno(errno);
      return done > 0 ? done : -1;
    }
    done += static_cast<int32_t>(n);
  }
  return done;
}

Stream* PlainFileOpener::OpenStream(std::string_view name, uint32_t mode) {
  auto* f = new PlainFile(std::string(name), mode);
  if (!f->ok()) {
    error_ = f->ErrorText();
    delete f;
    return nullptr;
  }
  return f;
}

}  // namespace orin
