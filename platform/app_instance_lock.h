// One app per user: the running app holds an exclusive lock on a file in the user's
// runtime folder, with its process id written in it, for as long as it runs. The
// kernel drops the lock when the process ends, however it ends.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>

namespace melodock {

class AppInstanceLock {
 public:
  // $XDG_RUNTIME_DIR/melodock/app.lock (see userRuntimeDir()).
  [[nodiscard]] static std::filesystem::path defaultFile();

  // Takes the lock and writes this process's id into `file`. Nothing when another
  // process holds it. When the file cannot be opened at all the app must still run,
  // so that yields a lock that holds nothing.
  [[nodiscard]] static std::optional<AppInstanceLock> acquire(
      const std::filesystem::path& file = defaultFile());

  // The id written by the process holding the lock on `file`, if one does.
  [[nodiscard]] static std::optional<pid_t> holder(const std::filesystem::path& file);

  AppInstanceLock(AppInstanceLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  AppInstanceLock& operator=(AppInstanceLock&&) = delete;
  AppInstanceLock(const AppInstanceLock&) = delete;
  AppInstanceLock& operator=(const AppInstanceLock&) = delete;
  ~AppInstanceLock();

 private:
  explicit AppInstanceLock(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace melodock
