// Tells which paths in watched folders changed, through inotify: files written, made,
// moved or removed, and folders made, moved or removed. One watch per folder (inotify
// does not reach into subfolders), so the caller watches each folder it walks. Used
// on one thread.
#pragma once

#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

namespace melodock {

class FolderWatcher {
 public:
  FolderWatcher();
  ~FolderWatcher();
  FolderWatcher(const FolderWatcher&) = delete;
  FolderWatcher& operator=(const FolderWatcher&) = delete;

  // Watches `folder` itself. False when it cannot be watched, in particular when the
  // system's watches have run out; exhausted() then says so from here on.
  bool watch(const std::filesystem::path& folder);

  // Readable when changes wait; -1 where inotify is missing.
  [[nodiscard]] int descriptor() const { return inotify_; }

  struct Changes {
    std::vector<std::filesystem::path> paths;  // each changed file or folder
    bool overflowed = false;  // events were lost: every folder must be looked at again
  };
  // What changed since the last call, read without blocking.
  [[nodiscard]] Changes changes();

  // Whether some folder went unwatched (no inotify, or too few watches).
  [[nodiscard]] bool exhausted() const { return exhausted_; }

 private:
  int inotify_ = -1;
  bool exhausted_ = false;
  std::unordered_map<int, std::filesystem::path> folders_;  // by watch descriptor
};

}  // namespace melodock
