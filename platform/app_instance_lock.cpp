#include "platform/app_instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string>
#include <system_error>

#include "platform/user_dirs.h"

namespace melodock {

std::filesystem::path AppInstanceLock::defaultFile() {
  return userRuntimeDir() / "melodock" / "app.lock";
}

std::optional<AppInstanceLock> AppInstanceLock::acquire(const std::filesystem::path& file) {
  std::error_code ignored;
  std::filesystem::create_directories(file.parent_path(), ignored);
  const int fd = ::open(file.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) return AppInstanceLock(-1);
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    if (held) return std::nullopt;
    return AppInstanceLock(-1);
  }
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) == 0) {
    [[maybe_unused]] const ssize_t written = ::pwrite(fd, pid.data(), pid.size(), 0);
  }
  return AppInstanceLock(fd);
}

std::optional<pid_t> AppInstanceLock::holder(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  // A shared lock that can be had means nobody holds the exclusive one.
  if (::flock(fd, LOCK_SH | LOCK_NB) == 0) {
    ::close(fd);
    return std::nullopt;
  }
  char text[32] = {};
  const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
  ::close(fd);
  pid_t pid = 0;
  if (n <= 0 || std::from_chars(text, text + n, pid).ec != std::errc() || pid <= 0) {
    return std::nullopt;
  }
  return pid;
}

AppInstanceLock::~AppInstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace melodock
