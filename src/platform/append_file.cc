#include "platform/append_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/plain_file.h"

namespace orin {

bool AppendToFile(const std::string& path, std::string_view bytes, std::string* error) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (error != nullptr) *error = SystemErrorText(errno);
    return false;
  }
  bool ok = true;
  size_t done = 0;
  // A regular file takes the whole buffer at once; the loop only covers a
  // signal or a full disk cutting the write short.
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (error != nullptr) *error = SystemErrorText(errno);
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  return ok;
}

}  // namespace orin
