#include "files/file.h"

#include <cerrno>
#include <cstdint>

#include "files/file_manager.h"
#include "platform/plain_file.h"

namespace orin {

File::File(FileManager* manager, std::string path, int root, bool read, bool write, bool managed)
    : manager_(manager),
      path_(std::move(path)),
      root_(root),
      read_(read),
      write_(write),
      managed_(managed) {}

File::~File() {
  if (manager_ != nullptr) manager_->Forget(this);
}

bool File::Fail(int err) {
  error_ = SystemErrorText(err);
  return false;
}

bool File::Ready() {
  if (managed_ && manager_ != nullptr) {
    if (manager_->Activate(this)) return true;
    error_ = manager_->ErrorText();
    return false;
  }
  return handle_.valid() || Reopen();
}

int64_t File::FailValue(int err) {
  error_ = SystemErrorText(err);
  return -1;
}

template <typename Op>
int32_t File::Transfer(int32_t count, Op op) {
  if (count < 0) {
    error_ = "Invalid size";
    return -1;
  }
  if (!Ready()) return -1;
  size_t done = 0;
  if (int err = op(static_cast<size_t>(count), &done)) {
    error_ = SystemErrorText(err);
    if (done == 0) return -1;  // a partial transfer still counts
  }
  return static_cast<int32_t>(done);
}

int64_t File::Seek(int64_t offset, SeekOrigin origin) {
  if (!Ready()) return -1;
  int64_t position = 0;
  if (int err = handle_.Seek(offset, origin, &position)) return FailValue(err);
  return position;
}

int64_t File::Tell() {
  // A closed handle's position is the saved one; no need to reopen.
  if (!handle_.valid()) return saved_position_;
  int64_t position = 0;
  if (int err = handle_.Seek(0, SeekOrigin::kCurrent, &position)) return FailValue(err);
  return position;
}

int32_t File::Read(void* buffer, int32_t count) {
  return Transfer(count, [&](size_t n, size_t* done) { return handle_.Read(buffer, n, done); });
}

int32_t File::Write(const void* buffer, int32_t count) {
  return Transfer(count, [&](size_t n, size_t* done) { return handle_.Write(buffer, n, done); });
}

int32_t File::ReadAt(int64_t offset, void* buffer, int32_t count) {
  if (offset < 0) return static_cast<int32_t>(FailValue(EINVAL));
  return Transfer(count,
                  [&](size_t n, size_t* done) { return handle_.ReadAt(offset, buffer, n, done); });
}

int32_t File::WriteAt(int64_t offset, const void* buffer, int32_t count) {
  if (offset < 0) return static_cast<int32_t>(FailValue(EINVAL));
  return Transfer(count,
                  [&](size_t n, size_t* done) { return handle_.WriteAt(offset, buffer, n, done); });
}

int64_t File::Size() {
  if (!Ready()) return -1;
  FileStatus status;
  if (int err = handle_.Status(&status)) return FailValue(err);
  return status.size;
}

int64_t File::OwnerId() {
  if (!Ready()) return -1;
  FileStatus status;
  if (int err = handle_.Status(&status)) return FailValue(err);
  return status.owner;
}

int64_t File::GroupId() {
  if (!Ready()) return -1;
  FileStatus status;
  if (int err = handle_.Status(&status)) return FailValue(err);
  return status.group;
}

bool File::Truncate(int64_t length) {
  if (!Ready()) return false;
  if (int err = handle_.Truncate(length)) return Fail(err);
  return true;
}

bool File::LockRegion(int64_t offset, int64_t length, bool exclusive, bool wait) {
  if (offset < 0 || length <= 0 || length > INT64_MAX - offset) return Fail(EINVAL);
  if (!Ready()) return false;
  if (int err = handle_.Lock(offset, length, exclusive, wait)) return Fail(err);
  ++region_locks_;
  return true;
}

bool File::UnlockRegion(int64_t offset, int64_t length) {
  if (offset < 0 || length <= 0 || length > INT64_MAX - offset) return Fail(EINVAL);
  // Locks die with the handle, so a closed handle has none to give back.
  if (!handle_.valid()) return Fail(ENOLCK);
  if (int err = handle_.Unlock(offset, length)) return Fail(err);
  if (region_locks_ > 0) --region_locks_;
  return true;
}

bool File::Reopen() {
  if (handle_.valid()) return true;
  if (manager_ == nullptr) return Fail(EBADF);
  if (!manager_->ReopenHandle(*this, &handle_)) {
    error_ = manager_->ErrorText();
    return false;
  }
  int64_t position = 0;
  if (int err = handle_.Seek(saved_position_, SeekOrigin::kBegin, &position)) {
    handle_.Close();
    return Fail(err);
  }
  return true;
}

void File::CloseHandleOnly() {
  if (!handle_.valid()) return;
  int64_t position = 0;
  if (handle_.Seek(0, SeekOrigin::kCurrent, &position) == 0) saved_position_ = position;
  handle_.Close();
  region_locks_ = 0;
}

}  // namespace orin
