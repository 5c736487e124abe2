#include "platform/music/scan/folder_watcher.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cstring>

namespace melodock {
namespace {

constexpr std::uint32_t kEvents = IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                                  IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF |
                                  IN_ONLYDIR;

}  // namespace

FolderWatcher::FolderWatcher() : inotify_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
  exhausted_ = inotify_ < 0;
}

FolderWatcher::~FolderWatcher() {
  if (inotify_ >= 0) ::close(inotify_);
}

bool FolderWatcher::watch(const std::filesystem::path& folder) {
  if (inotify_ < 0) return false;
  const int watch = ::inotify_add_watch(inotify_, folder.c_str(), kEvents);
  if (watch < 0) {
    if (errno == ENOSPC || errno == ENOMEM) exhausted_ = true;
    return false;
  }
  // A folder moved within the watched ones keeps its watch: it now answers to the new path.
  folders_[watch] = folder;
  return true;
}

FolderWatcher::Changes FolderWatcher::changes() {
  Changes changes;
  if (inotify_ < 0) return changes;
  alignas(inotify_event) std::array<char, std::size_t{64} * 1024> buffer{};
  for (;;) {
    const ssize_t length = ::read(inotify_, buffer.data(), buffer.size());
    if (length <= 0) break;
    for (ssize_t offset = 0; offset < length;) {
      inotify_event event{};
      std::memcpy(&event, buffer.data() + offset, sizeof event);
      const char* name = buffer.data() + offset + sizeof(inotify_event);
      offset += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
      if (event.mask & IN_Q_OVERFLOW) {
        changes.overflowed = true;
        continue;
      }
      const auto folder = folders_.find(event.wd);
      if (folder == folders_.end()) continue;
      if (event.mask & IN_IGNORED) {
        folders_.erase(folder);
        continue;
      }
      if (event.len > 0 && *name != '\0') {
        changes.paths.push_back(folder->second / name);
      } else if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
        changes.paths.push_back(folder->second);
      }
    }
  }
  return changes;
}

}  // namespace melodock
