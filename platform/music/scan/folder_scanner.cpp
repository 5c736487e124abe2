#include "platform/music/scan/folder_scanner.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include "base/ascii.h"
#include "base/utf8.h"

namespace melodock {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using Dir = std::unique_ptr<DIR, DirCloser>;

// The rank of a cover picture's name (lower is better), or nothing for other names.
std::optional<int> coverRank(std::string_view name) {
  static constexpr std::array<std::string_view, 9> kNames = {
      "cover.jpg",  "cover.jpeg", "cover.png",  "folder.jpg", "folder.jpeg",
      "folder.png", "front.jpg",  "front.jpeg", "front.png"};
  const std::string wanted = asciiLower(name);
  const auto found = std::find(kNames.begin(), kNames.end(), wanted);
  if (found == kNames.end()) return std::nullopt;
  return static_cast<int>(found - kNames.begin());
}

std::int64_t nanoseconds(const struct timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

bool within(const std::string& path, const std::string& folder) {
  return path == folder || (path.starts_with(folder) && path.size() > folder.size() &&
                            (folder.ends_with('/') || path[folder.size()] == '/'));
}

}  // namespace

struct FolderScanner::Scan {
  // The library's files not yet found in this scan, by path (held once: at 100k files
  // the paths are most of a rescan's memory).
  struct Known {
    FileStamp stamp;
    bool present;
  };
  std::unordered_map<std::string, Known> known;

  void learn(std::vector<KnownMusicFile> files) {
    known.clear();
    known.reserve(files.size());
    for (KnownMusicFile& file : files) {
      known.emplace(std::move(file.path), Known{file.stamp, file.present});
    }
  }
  std::set<std::pair<dev_t, ino_t>> folders;  // walked in this scan
  std::unordered_map<std::string, std::optional<std::filesystem::path>> covers;
  MusicFileChanges batch;
  ScanCounts counts;
};

FolderScanner::FolderScanner(Library& library, TagReader& reader, Options options)
    : library_(library), reader_(reader), options_(std::move(options)) {}

FolderScanner::~FolderScanner() {
  // The database thread posts the batch's result here: the context must see it come.
  if (!pending_.valid()) return;
  context_.restart();
  context_.run();
}

template <typename T>
T FolderScanner::wait(asio::awaitable<T> work) {
  auto done = asio::co_spawn(context_, std::move(work), asio::use_future);
  context_.restart();
  context_.run();
  return done.get();
}

void FolderScanner::finishPending() {
  if (!pending_.valid()) return;
  context_.restart();
  context_.run();
  std::exchange(pending_, {}).get();
}

void FolderScanner::flush(Scan& scan, bool final) {
  MusicFileChanges& batch = scan.batch;
  const std::size_t size = batch.read.size() + batch.returned.size() + batch.vanished.size();
  if (size == 0 || (!final && size < options_.batchSize)) {
    if (final) finishPending();
    return;
  }
  // One batch is written while the next is read.
  finishPending();
  pending_ = asio::co_spawn(context_, library_.storeMusicFiles(std::exchange(batch, {})),
                            asio::use_future);
  context_.restart();
  context_.poll();  // hands the batch to the database thread
  if (final) finishPending();
}

ScanCounts FolderScanner::scanAll(const std::vector<std::filesystem::path>& folders) {
  Scan scan;
  scan.learn(wait(library_.musicFiles("")));
  for (const std::filesystem::path& folder : folders) look(scan, folder.string(), true);
  if (stopped()) scan.known.clear();
  for (auto& [path, file] : scan.known) {
    if (!file.present) continue;
    scan.batch.vanished.push_back(path);
    ++scan.counts.vanished;
    flush(scan, false);
  }
  flush(scan, true);
  return scan.counts;
}

ScanCounts FolderScanner::scanPaths(const std::vector<std::filesystem::path>& paths,
                                    const std::vector<std::filesystem::path>& folders) {
  Scan scan;
  for (const std::filesystem::path& path : paths) {
    const std::string text = path.lexically_normal().string();
    const bool inFolders = std::any_of(folders.begin(), folders.end(), [&](const auto& folder) {
      return within(text, folder.lexically_normal().string());
    });
    if (!inFolders) continue;
    scan.learn(wait(library_.musicFiles(text)));
    look(scan, text, false);
    if (stopped()) break;
    for (auto& [known, file] : scan.known) {
      if (!file.present) continue;
      scan.batch.vanished.push_back(known);
      ++scan.counts.vanished;
    }
    flush(scan, false);
  }
  flush(scan, true);
  return scan.counts;
}

void FolderScanner::look(Scan& scan, const std::string& root, bool isMusicFolder) {
  struct stat info {};
  if (::stat(root.c_str(), &info) != 0) {
    // A music folder that does not exist is no problem; a file gone is a vanished one.
    if (errno != ENOENT && errno != ENOTDIR) ++scan.counts.unreadable;
    return;
  }
  if (S_ISDIR(info.st_mode)) {
    if (!scan.folders.insert({info.st_dev, info.st_ino}).second) {
      ++scan.counts.loops;
      return;
    }
    walk(scan, root, isMusicFolder);
  } else if (S_ISREG(info.st_mode)) {
    const std::filesystem::path path(root);
    if (TagReader::isMusicFile(path.filename().string())) {
      visitFile(scan, root, path.parent_path().string());
    }
  }
}

void FolderScanner::walk(Scan& scan, const std::string& folder, bool isMusicFolder) {
  const Dir dir(::opendir(folder.c_str()));
  if (!dir) {
    if (isMusicFolder && errno != ENOENT) {
      const std::string problem =
          "Can't read the music folder " + folder + ": " + std::strerror(errno);
      if (reported_.insert(folder).second && options_.problem) options_.problem(problem);
    } else if (errno != ENOENT) {
      ++scan.counts.unreadable;
    }
    return;
  }
  if (options_.folderFound) options_.folderFound(folder);
  std::vector<std::string> files;
  std::vector<std::string> folders;
  std::optional<std::pair<int, std::string>> cover;
  errno = 0;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name.starts_with('.')) continue;  // ".", ".." and hidden files
    bool isFolder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      struct stat info {};
      if (::fstatat(::dirfd(dir.get()), entry->d_name, &info, 0) != 0) {
        if (TagReader::isMusicFile(name)) ++scan.counts.gone;  // dangling or just removed
        continue;
      }
      isFolder = S_ISDIR(info.st_mode);
    }
    if (!isFolder && !TagReader::isMusicFile(name)) {
      if (const auto rank = coverRank(name); rank && (!cover || *rank < cover->first)) {
        cover = {*rank, std::string(name)};
      }
      continue;
    }
    if (!isValidUTF8(name)) {
      ++scan.counts.badNames;
      continue;
    }
    (isFolder ? folders : files).emplace_back(name);
  }
  scan.covers[folder] =
      cover ? std::optional(std::filesystem::path(folder) / cover->second) : std::nullopt;
  std::sort(files.begin(), files.end());
  std::sort(folders.begin(), folders.end());
  const std::string prefix = folder.ends_with('/') ? folder : folder + "/";
  for (const std::string& name : files) visitFile(scan, prefix + name, folder);
  for (const std::string& name : folders) {
    if (stopped()) return;
    look(scan, prefix + name, false);
  }
}

std::optional<std::filesystem::path> FolderScanner::coverIn(Scan& scan, const std::string& folder) {
  if (const auto found = scan.covers.find(folder); found != scan.covers.end()) return found->second;
  std::optional<std::pair<int, std::string>> cover;
  if (const Dir dir(::opendir(folder.c_str())); dir) {
    while (const dirent* entry = ::readdir(dir.get())) {
      if (const auto rank = coverRank(entry->d_name); rank && (!cover || *rank < cover->first)) {
        cover = {*rank, entry->d_name};
      }
    }
  }
  auto found = cover ? std::optional(std::filesystem::path(folder) / cover->second) : std::nullopt;
  scan.covers[folder] = found;
  return found;
}

void FolderScanner::visitFile(Scan& scan, const std::string& path, const std::string& folder) {
  if (stopped()) return;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    ++(errno == ENOENT ? scan.counts.gone : scan.counts.unreadable);
    return;
  }
  if (!S_ISREG(info.st_mode)) return;
  if (info.st_size == 0) {
    ++scan.counts.empty;
    return;
  }
  const FileStamp stamp{info.st_size, nanoseconds(info.st_mtim)};
  if (const auto known = scan.known.find(path); known != scan.known.end()) {
    const bool same = known->second.stamp == stamp;
    const bool present = known->second.present;
    if (same) {
      scan.known.erase(known);
      if (present) {
        ++scan.counts.unchanged;
      } else {
        ++scan.counts.returned;
        scan.batch.returned.push_back(path);
        flush(scan, false);
      }
      return;
    }
  }
  std::optional<MusicFileTags> tags;
  try {
    tags = reader_.read(path, coverIn(scan, folder));
  } catch (const std::exception&) {
    ++scan.counts.unreadable;
    return;
  }
  if (!tags) {
    // Junk, or unreadable, or gone between the look and the read.
    if (::access(path.c_str(), R_OK) == 0) {
      ++scan.counts.junk;
    } else {
      ++(errno == ENOENT ? scan.counts.gone : scan.counts.unreadable);
    }
    return;
  }
  scan.known.erase(path);
  ++scan.counts.read;
  add(scan, ReadMusicFile{.path = path, .stamp = stamp, .tags = std::move(*tags)});
}

void FolderScanner::add(Scan& scan, ReadMusicFile file) {
  scan.batch.read.push_back(std::move(file));
  flush(scan, false);
}

}  // namespace melodock
