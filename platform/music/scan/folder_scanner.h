// Brings the library in step with the music files in the user's folders: new and
// changed files are read (a file is changed when its size or modification time is),
// files gone from the folders leave the library, and files that come back return.
// Runs on its caller's thread, which it blocks (a thread of its own, never a pool
// thread); writes go to the library's database thread in batches, one transaction
// each, while the next batch is read.
//
// Nothing in a folder stops a scan: unreadable, junk, zero-length and non-UTF-8-named
// files, folders seen before through a symbolic link (loops) and files that vanish
// mid-scan are skipped and counted.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include <asio.hpp>

#include "platform/music/library/library.h"
#include "platform/music/scan/tag_reader.h"

namespace melodock {

// What one scan did.
struct ScanCounts {
  int read = 0;       // new or changed files read
  int unchanged = 0;  // files found as the library has them
  int returned = 0;   // vanished files back unchanged
  int vanished = 0;   // files gone from the folders
  // Skipped:
  int unreadable = 0;  // files or folders that could not be opened
  int junk = 0;        // music-named files that are not audio TagLib can read
  int empty = 0;       // zero-length files
  int badNames = 0;    // names that are not UTF-8
  int loops = 0;       // folders reached again through a symbolic link
  int gone = 0;        // files that vanished while being looked at

  bool operator==(const ScanCounts&) const = default;
};

class FolderScanner {
 public:
  struct Options {
    // Files per transaction: small enough that a request waiting behind one is not
    // held up long, large enough that commits are few.
    std::size_t batchSize = 200;
    // Told about each folder a scan walks (to watch it for changes).
    std::function<void(const std::filesystem::path&)> folderFound{};
    // Told once about each music folder that exists but cannot be read.
    std::function<void(const std::string& problem)> problem{};
    // Asked before each file: true ends the scan there, and nothing vanishes.
    std::function<bool()> stopRequested{};
  };

  // `library` and `reader` must outlive the scanner.
  FolderScanner(Library& library, TagReader& reader, Options options);
  // Waits for the batch being written, if a scan ended by an error left one.
  ~FolderScanner();
  FolderScanner(const FolderScanner&) = delete;
  FolderScanner& operator=(const FolderScanner&) = delete;

  // Scans every file of `folders`; files the library holds elsewhere vanish. Folders
  // that do not exist are skipped without a word.
  ScanCounts scanAll(const std::vector<std::filesystem::path>& folders);
  // Looks again at `paths` (files or folders, present or gone) that lie inside one
  // of `folders`; others are ignored.
  ScanCounts scanPaths(const std::vector<std::filesystem::path>& paths,
                       const std::vector<std::filesystem::path>& folders);

 private:
  struct Scan;

  void look(Scan& scan, const std::string& root, bool isMusicFolder);
  void walk(Scan& scan, const std::string& folder, bool isMusicFolder);
  void visitFile(Scan& scan, const std::string& path, const std::string& folder);
  std::optional<std::filesystem::path> coverIn(Scan& scan, const std::string& folder);
  void add(Scan& scan, ReadMusicFile file);
  void flush(Scan& scan, bool final);
  void finishPending();
  [[nodiscard]] bool stopped() const { return options_.stopRequested && options_.stopRequested(); }
  template <typename T>
  T wait(asio::awaitable<T> work);

  Library& library_;
  TagReader& reader_;
  Options options_;
  std::set<std::string> reported_;  // unreadable music folders already reported
  asio::io_context context_;        // library requests complete here, on this thread
  std::future<void> pending_;       // the batch being written
};

}  // namespace melodock
