#include "platform/music/scan/music_folder_monitor.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <optional>
#include <set>

#include "platform/music/scan/folder_watcher.h"

namespace melodock {
namespace {

using Clock = std::chrono::steady_clock;

// The paths to look at again, without those inside another of them.
std::vector<std::filesystem::path> outermost(const std::set<std::string>& paths) {
  std::vector<std::filesystem::path> kept;
  std::string last;
  for (const std::string& path : paths) {
    if (!last.empty() && path.starts_with(last) && path.size() > last.size() &&
        path[last.size()] == '/') {
      continue;
    }
    kept.emplace_back(path);
    last = path;
  }
  return kept;
}

}  // namespace

MusicFolderMonitor::MusicFolderMonitor(Library& library, Folders folders, Options options)
    : library_(library),
      folders_(std::move(folders)),
      options_(std::move(options)),
      wakeup_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  thread_ = std::thread([this] { run(); });
}

MusicFolderMonitor::~MusicFolderMonitor() {
  stopping_ = true;
  wake();
  thread_.join();
  if (wakeup_ >= 0) ::close(wakeup_);
}

void MusicFolderMonitor::rescan() {
  rescanWanted_ = true;
  wake();
}

void MusicFolderMonitor::foldersMayHaveChanged() {
  foldersWanted_ = true;
  wake();
}

void MusicFolderMonitor::wake() const {
  const std::uint64_t one = 1;
  if (wakeup_ >= 0) [[maybe_unused]]
    const auto written = ::write(wakeup_, &one, sizeof one);
}

void MusicFolderMonitor::run() {
  // Made anew when the folders change, so that the watches of folders no longer
  // followed go.
  std::optional<FolderWatcher> watcher(std::in_place);
  TagReader reader(options_.artworkFolder);
  FolderScanner scanner(
      library_, reader,
      {.folderFound = [&watcher](const std::filesystem::path& folder) { watcher->watch(folder); },
       .problem = options_.problem,
       .stopRequested = [this] { return stopping_.load(); }});
  std::vector<std::filesystem::path> folders;
  auto report = [this](const ScanCounts& counts) {
    if (options_.scanned) options_.scanned(counts);
  };
  auto scanAll = [&] {
    folders = folders_();
    try {
      report(scanner.scanAll(folders));
    } catch (const std::exception& error) {
      // The library could not take the changes (its file is unusable): said once, as
      // the library's own requests say it too.
      if (options_.problem) options_.problem(error.what());
    }
  };

  scanAll();
  std::set<std::string> changed;
  std::optional<Clock::time_point> quietAt;   // when the changed paths are looked at
  std::optional<Clock::time_point> latestAt;  // changes keep coming: looked at anyway
  Clock::time_point rescanAt = Clock::now() + options_.rescanInterval;
  bool lost = false;

  while (!stopping_) {
    auto timeout = std::chrono::milliseconds(-1);
    const auto now = Clock::now();
    auto until = [&](Clock::time_point at) {
      const auto left = std::max(std::chrono::milliseconds(0),
                                 std::chrono::ceil<std::chrono::milliseconds>(at - now));
      if (timeout.count() < 0 || left < timeout) timeout = left;
    };
    if (quietAt) until(std::min(*quietAt, *latestAt));
    if (watcher->exhausted() || lost) until(rescanAt);

    std::array<pollfd, 2> fds = {
        pollfd{.fd = wakeup_, .events = POLLIN, .revents = 0},
        pollfd{.fd = watcher->descriptor(), .events = POLLIN, .revents = 0}};
    ::poll(fds.data(), watcher->descriptor() >= 0 ? 2 : 1, static_cast<int>(timeout.count()));
    if (stopping_) break;
    if (fds[0].revents & POLLIN) {
      std::uint64_t count = 0;
      [[maybe_unused]] const auto read = ::read(wakeup_, &count, sizeof count);
    }
    if (fds[1].revents & POLLIN) {
      FolderWatcher::Changes changes = watcher->changes();
      lost = lost || changes.overflowed;
      for (const auto& path : changes.paths) changed.insert(path.string());
      if (!changes.paths.empty()) {
        quietAt = Clock::now() + options_.debounce;
        if (!latestAt) latestAt = Clock::now() + 10 * options_.debounce;
      }
    }
    if (foldersWanted_.exchange(false) && folders_() != folders) {
      watcher.emplace();
      rescanWanted_ = true;
    }
    if (rescanWanted_.exchange(false) ||
        ((watcher->exhausted() || lost) && Clock::now() >= rescanAt)) {
      lost = false;
      changed.clear();
      quietAt.reset();
      latestAt.reset();
      scanAll();
      rescanAt = Clock::now() + options_.rescanInterval;
      continue;
    }
    if (quietAt && Clock::now() >= std::min(*quietAt, *latestAt)) {
      const std::vector<std::filesystem::path> paths = outermost(changed);
      changed.clear();
      quietAt.reset();
      latestAt.reset();
      try {
        report(scanner.scanPaths(paths, folders));
      } catch (const std::exception& error) {
        if (options_.problem) options_.problem(error.what());
      }
    }
  }
}

}  // namespace melodock
