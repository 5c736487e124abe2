#include "platform/settings_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/user_dirs.h"

namespace melodock {
namespace {

[[noreturn]] void fail(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

// Holds flock(2) on the lock file for its lifetime. The lock lives on a file of its
// own because the settings file is replaced by rename, which a lock on it would not
// survive.
class FileLock {
 public:
  FileLock(const std::filesystem::path& path, int operation, bool create) {
    fd_ = ::open(path.c_str(), (create ? O_CREAT : 0) | O_RDWR | O_CLOEXEC, 0600);
    if (fd_ < 0) return;  // no folder yet: nobody has written, nothing to guard
    while (::flock(fd_, operation) != 0) {
      if (errno != EINTR) fail("cannot lock " + path.string());
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_ = -1;
};

struct Contents {
  bool exists = false;
  std::string text;
};

Contents load(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return {true, text.str()};
}

std::optional<nlohmann::json> parseObject(const std::string& text) {
  nlohmann::json value = nlohmann::json::parse(text, nullptr, false);
  if (value.is_discarded() || !value.is_object()) return std::nullopt;
  return value;
}

void writeWhole(const std::filesystem::path& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0) fail("cannot create " + path.string());
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int saved = errno;
      ::close(fd);
      errno = saved;
      fail("cannot write " + path.string());
    }
    written += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) fail("cannot write " + path.string());
}

}  // namespace

SettingsStore::SettingsStore(std::filesystem::path file)
    : file_(std::move(file)), lockFile_(file_.string() + ".lock") {}

std::filesystem::path SettingsStore::defaultFile() {
  return userConfigDir() / "melodock" / "settings.json";
}

nlohmann::json SettingsStore::read() const {
  FileLock lock(lockFile_, LOCK_SH, false);
  return parseObject(load(file_).text).value_or(nlohmann::json::object());
}

std::optional<nlohmann::json> SettingsStore::value(std::string_view key) const {
  nlohmann::json all = read();
  const auto it = all.find(key);
  if (it == all.end()) return std::nullopt;
  return std::move(*it);
}

void SettingsStore::update(Change change) {
  apply({std::move(change)});
  changed();
}

nlohmann::json SettingsStore::apply(const std::vector<Change>& changes) {
  std::error_code ignored;
  std::filesystem::create_directories(file_.parent_path(), ignored);
  FileLock lock(lockFile_, LOCK_EX, true);

  const Contents contents = load(file_);
  std::optional<nlohmann::json> all = parseObject(contents.text);
  if (!all) {
    if (contents.exists && !contents.text.empty()) {
      writeWhole(file_.string() + ".corrupt", contents.text);
    }
    all = nlohmann::json::object();
  }
  for (const Change& change : changes) change(*all);

  // A temporary name of this process's own, then rename: readers see the old file or
  // the new one, never a mixture.
  const std::filesystem::path temporary = file_.string() + ".tmp." + std::to_string(::getpid());
  try {
    writeWhole(temporary,
               all->dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
  } catch (const std::system_error&) {
    ::unlink(temporary.c_str());  // a full disk keeps no half-written copy
    throw;
  }
  if (::rename(temporary.c_str(), file_.c_str()) != 0) {
    const int saved = errno;
    ::unlink(temporary.c_str());
    errno = saved;
    fail("cannot replace " + file_.string());
  }
  return std::move(*all);
}

}  // namespace melodock
