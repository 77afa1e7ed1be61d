// The lock-file protocol. A lock is the existence of a file at the lock
// path; its content "pid!tid:host" names the owner. To take it, a thread
// writes that content into a private file beside it, named
// "<lock>.<md5 of host>.<pid>.<tid>", and gives the private file the lock's
// name without replacing anything (a hard link, which is atomic even on
// network file systems; a no-replace rename where links are not supported).
// A lock whose owner process is gone (same host), or that is older than the
// lock expiration (another host), is stale and may be broken.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "files/file_manager.h"
#include "platform/clock.h"
#include "platform/process_info.h"
#include "util/md5.h"

namespace orin {

namespace {

struct Owner {
  uint32_t pid = 0;
  uint32_t tid = 0;
  bool has_host = false;
  std::string_view host;
};

// Reads an unsigned decimal of at most 32 bits at *i.
bool ParseNumber(std::string_view text, size_t* i, uint32_t* value) {
  uint64_t v = 0;
  size_t start = *i;
  while (*i < text.size() && text[*i] >= '0' && text[*i] <= '9') {
    v = v * 10 + static_cast<uint64_t>(text[*i] - '0');
    if (v > UINT32_MAX) return false;
    ++*i;
  }
  *value = static_cast<uint32_t>(v);
  return *i > start;
}

// "pid!tid:host"; without "!" the thread id is 0. False for anything else.
bool ParseOwner(std::string_view text, Owner* owner) {
  size_t i = 0;
  if (!ParseNumber(text, &i, &owner->pid)) return false;
  if (i < text.size() && text[i] == '!') {
    ++i;
    if (!ParseNumber(text, &i, &owner->tid)) return false;
  }
  if (i < text.size() && text[i] == ':') {
    owner->has_host = true;
    owner->host = text.substr(i + 1);
  }
  return true;
}

void Sleep(int32_t milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace

int FileManager::AcquireLock(int32_t area, std::string_view path) {
  Location at;
  return InArea(area, path, &at) ? AcquireLockAt(at) : kLockError;
}

int FileManager::AcquireLock(std::string_view path) {
  Location at;
  return Locate(path, &at) ? AcquireLockAt(at) : kLockError;
}

int FileManager::CheckLock(int32_t area, std::string_view path) {
  Location at;
  FileStatus identity;
  return InArea(area, path, &at) ? CheckLockAt(at, &identity) : kLockRetry;
}

int FileManager::CheckLock(std::string_view path) {
  Location at;
  FileStatus identity;
  return Locate(path, &at) ? CheckLockAt(at, &identity) : kLockRetry;
}

bool FileManager::ReleaseLock(int32_t area, std::string_view path) {
  return Delete(area, path);
}

bool FileManager::ReleaseLock(std::string_view path) {
  return Delete(path);
}

namespace {

// Gives `mine` the name of `lock` unless that exists (then EEXIST).
int TakeName(const Directory& from, const std::string& mine, const Directory& to,
             const std::string& lock) {
  int err = from.Link(mine, to, lock);
  if (err != 0) {
    // A link whose reply was lost (network file systems) still shows.
    FileStatus status;
    if (from.StatusNoFollow(mine, &status) == 0 && status.links > 1) err = 0;
  }
  if (err == EPERM || err == EOPNOTSUPP || err == ENOSYS) {
    return from.Rename(mine, to, lock, false);  // a file system without hard links
  }
  if (err == 0) from.Unlink(mine);
  return err;
}

}  // namespace

int FileManager::AcquireLockAt(const Location& at) {
  if (!Reserve(1)) return kLockError;
  uint32_t pid = environment_->ProcessId(), tid = environment_->ThreadId();
  std::string host = environment_->LockHostName();
  char tail[64];
  std::snprintf(tail, sizeof tail, ".%s.%u.%u", HexLower(Md5::Digest(host)).c_str(), pid, tid);
  Location mine = at;
  mine.relative += tail;
  mine.full += tail;
  {
    FileHandle handle;
    if (int err =
            mine.directory->OpenFile(mine.relative, true, true, Disposition::kCreateNew, &handle)) {
      Fail(mine, err);
      return kLockError;
    }
    std::string owner = std::to_string(pid) + "!" + std::to_string(tid) + ":" + host;
    size_t done = 0;
    if (int err = handle.Write(owner.data(), owner.size(), &done)) {
      handle.Close();
      mine.directory->Unlink(mine.relative);
      Fail(mine, err);
      return kLockError;
    }
  }
  auto give_up = [&](int result, std::string text) {
    mine.directory->Unlink(mine.relative);
    error_ = std::move(text);
    return result;
  };
  Location breaker = mine;
  breaker.relative += ".stale";
  for (int retries = 0;;) {
    if (environment_->TimedOut()) return give_up(kLockTimedOut, "Timed out waiting for lock");
    int err = TakeName(*mine.directory, mine.relative, *at.directory, at.relative);
    if (err == 0) return kLockAcquired;
    if (err != EEXIST) {
      Fail(at, err);
      return give_up(kLockError, error_);
    }
    FileStatus identity;
    int state = CheckLockAt(at, &identity);
    if (state == kLockOwnThread) return give_up(kLockDeadlock, "Possible deadlock detected");
    if (state == kLockStale && BreakStaleLock(at, breaker, identity)) continue;
    // A lock that vanished between the two looks is retried at once; one
    // that keeps failing to read (a directory in the way) is waited for.
    if (state == kLockRetry && ++retries < 3) continue;
    retries = 0;
    Sleep(environment_->FileDelay());
  }
}

int FileManager::CheckLockAt(const Location& at, FileStatus* identity) {
  if (!Reserve(1)) return kLockRetry;
  FileHandle handle;
  char text[512];
  size_t length = 0;
  int err = at.directory->OpenFile(at.relative, true, false, Disposition::kOpenExisting, &handle);
  if (err == 0) err = handle.Status(identity);
  if (err == 0) err = handle.Read(text, sizeof text - 1, &length);
  if (err != 0) {
    Fail(at, err);
    return kLockRetry;
  }
  Owner owner;
  if (ParseOwner(std::string_view(text, length), &owner) && owner.pid != 0 && owner.has_host &&
      owner.host == environment_->LockHostName()) {
    if (owner.pid == environment_->ProcessId() &&
        (owner.tid == 0 || owner.tid == environment_->ThreadId())) {
      return kLockOwnThread;
    }
    return ProcessExists(owner.pid) ? kLockHeld : kLockStale;
  }
  // Another host's processes cannot be asked; only age tells.
  int32_t expiration = environment_->LockExpiration();
  if (expiration <= 0) return kLockHeld;
  int64_t age = WallClockSeconds() - identity->modified_seconds;
  return age >= expiration ? kLockStale : kLockHeld;
}

// Several waiters may judge one lock stale at once. Deleting it outright
// could delete the fresh lock one of them has taken meanwhile, so the file
// is first renamed aside (only one rename can find it) and checked to be
// the very file judged stale; a different one is put back.
bool FileManager::BreakStaleLock(const Location& at, const Location& breaker,
                                 const FileStatus& identity) {
  int err = at.directory->Rename(at.relative, *breaker.directory, breaker.relative, true);
  if (err == ENOENT) return true;  // someone else broke it
  if (err != 0) return false;
  FileStatus moved;
  if (breaker.directory->StatusNoFollow(breaker.relative, &moved) == 0 &&
      (moved.device != identity.device || moved.inode != identity.inode)) {
    breaker.directory->Link(breaker.relative, *at.directory, at.relative);
  }
  breaker.directory->Unlink(breaker.relative);
  return true;
}

}  // namespace orin
