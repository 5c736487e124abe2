// Keeps the library in step with the user's music folders while the app runs, on a
// thread of its own: a full scan at start, then the paths inotify reports, looked at
// again once they have been quiet for a short while, a full scan when the folders
// change, and a periodic full scan where watches ran out (or changes were lost).
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <asio.hpp>

#include "platform/music/library/library.h"
#include "platform/music/scan/folder_scanner.h"
#include "platform/music/scan/tag_reader.h"

namespace melodock {

class MusicFolderMonitor {
 public:
  using Folders = std::function<std::vector<std::filesystem::path>()>;

  struct Options {
    std::filesystem::path artworkFolder = TagReader::defaultArtworkFolder();
    std::chrono::milliseconds debounce{500};
    std::chrono::milliseconds rescanInterval{std::chrono::minutes(15)};
    // Told once about each music folder that exists but cannot be read.
    std::function<void(const std::string& problem)> problem{};
    // Told what each scan did, on the monitor's thread.
    std::function<void(const ScanCounts& counts)> scanned{};
  };

  // Starts the thread. `folders` is asked for the folders at every full scan, on the
  // monitor's thread. `library` must outlive the monitor.
  MusicFolderMonitor(Library& library, Folders folders, Options options);
  // Stops the thread; a scan under way ends at its next file, and the batch being
  // written is finished.
  ~MusicFolderMonitor();
  MusicFolderMonitor(const MusicFolderMonitor&) = delete;
  MusicFolderMonitor& operator=(const MusicFolderMonitor&) = delete;

  // Asks for a full scan.
  void rescan();
  // Asks for the folders again, at once: when they are not those followed, the new ones
  // are scanned and watched, and the songs of those no longer named vanish. Quick and
  // safe from any thread (a settings observer).
  void foldersMayHaveChanged();

 private:
  class Loop;

  void wake();

  Library& library_;
  Folders folders_;
  Options options_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> rescanWanted_{false};
  std::atomic<bool> foldersWanted_{false};
  // The monitor's thread runs this context: the watcher's descriptor, the timer and
  // every wake are handlers on it.
  asio::io_context context_{1};
  asio::executor_work_guard<asio::io_context::executor_type> work_{context_.get_executor()};
  std::unique_ptr<Loop> loop_;
  std::thread thread_;
};

}  // namespace melodock
