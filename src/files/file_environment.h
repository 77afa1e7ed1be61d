// FileEnvironment: what the file manager asks of its application.
//
// The request application answers from its configuration (maxfiles,
// filedelay, lockexpiration, filetimeout, lock_hostname) and its watchdog;
// SimpleFileEnvironment holds fixed values for tools and tests.
#ifndef ORIN_FILES_FILE_ENVIRONMENT_H_
#define ORIN_FILES_FILE_ENVIRONMENT_H_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace orin {

class FileEnvironment {
 public:
  virtual ~FileEnvironment() = default;
  // Simultaneous handles a request may hold; 0 is unlimited.
  virtual int32_t MaxFiles() const = 0;
  // Milliseconds between attempts to take a held lock or finish a rename.
  virtual int32_t FileDelay() const = 0;
  // Seconds after which a lock file written by another host counts as
  // abandoned; 0 never.
  virtual int32_t LockExpiration() const = 0;
  // Seconds a rename keeps retrying a denied destination.
  virtual int32_t FileTimeout() const = 0;
  // The name lock files record as their host.
  virtual std::string LockHostName() const = 0;
  virtual uint32_t ProcessId() const;
  virtual uint32_t ThreadId() const;
  // True once the request has run out of time: lock waits and rename
  // retries give up.
  virtual bool TimedOut() const = 0;
};

class SimpleFileEnvironment : public FileEnvironment {
 public:
  // Defaults: unlimited files, 100 ms delay, 90 s lock expiration, 30 s file
  // time-out, the machine's host name, no time-out.
  SimpleFileEnvironment();

  int32_t MaxFiles() const override { return max_files_; }
  int32_t FileDelay() const override { return file_delay_; }
  int32_t LockExpiration() const override { return lock_expiration_; }
  int32_t FileTimeout() const override { return file_timeout_; }
  std::string LockHostName() const override { return host_name_; }
  bool TimedOut() const override;

  void set_max_files(int32_t n) { max_files_ = n; }
  void set_file_delay(int32_t ms) { file_delay_ = ms; }
  void set_lock_expiration(int32_t seconds) { lock_expiration_ = seconds; }
  void set_file_timeout(int32_t seconds) { file_timeout_ = seconds; }
  void set_host_name(std::string name) { host_name_ = std::move(name); }
  // Another thread may end the wait, as the watchdog does.
  void SetTimedOut(bool value) { timed_out_.store(value); }
  // Times out once `duration` has passed from now.
  void SetDeadline(std::chrono::milliseconds duration);

 private:
  int32_t max_files_ = 0;
  int32_t file_delay_ = 100;
  int32_t lock_expiration_ = 90;
  int32_t file_timeout_ = 30;
  std::string host_name_;
  std::atomic<bool> timed_out_{false};
  std::atomic<int64_t> deadline_{0};  // steady-clock nanoseconds; 0 none
};

}  // namespace orin

#endif  // ORIN_FILES_FILE_ENVIRONMENT_H_
