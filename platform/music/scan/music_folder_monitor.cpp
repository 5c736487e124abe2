#include "platform/music/scan/music_folder_monitor.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <set>
#include <system_error>

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

// What the monitor's thread keeps: touched on that thread only, in handlers of the
// monitor's own io_context. Scans run there and block it, which is what it is for.
class MusicFolderMonitor::Loop {
 public:
  explicit Loop(MusicFolderMonitor& monitor)
      : monitor_(monitor),
        reader_(monitor.options_.artworkFolder),
        scanner_(monitor.library_, reader_,
                 {.folderFound =
                      [this](const std::filesystem::path& folder) { watcher_->watch(folder); },
                  .problem = monitor.options_.problem,
                  .stopRequested = [this] { return monitor_.stopping_.load(); }}),
        timer_(monitor.context_) {}

  void start() {
    scanAll();
    rescanAt_ = Clock::now() + monitor_.options_.rescanInterval;
    follow();
    step();
  }

  // After anything that may call for work: a wake, the watcher's events, the timer.
  void step() {
    if (monitor_.stopping_) return;
    if (monitor_.foldersWanted_.exchange(false) && monitor_.folders_() != folders_) {
      watcher_.emplace();
      follow();
      monitor_.rescanWanted_ = true;
    }
    const bool unwatched = watcher_->exhausted() || lost_;
    if (monitor_.rescanWanted_.exchange(false) || (unwatched && Clock::now() >= rescanAt_)) {
      lost_ = false;
      changed_.clear();
      quietAt_.reset();
      latestAt_.reset();
      scanAll();
      rescanAt_ = Clock::now() + monitor_.options_.rescanInterval;
    } else if (quietAt_ && Clock::now() >= std::min(*quietAt_, *latestAt_)) {
      const std::vector<std::filesystem::path> paths = outermost(changed_);
      changed_.clear();
      quietAt_.reset();
      latestAt_.reset();
      try {
        report(scanner_.scanPaths(paths, folders_));
      } catch (const std::exception& error) {
        if (monitor_.options_.problem) monitor_.options_.problem(error.what());
      }
    }
    arm();
  }

 private:
  void report(const ScanCounts& counts) const {
    if (monitor_.options_.scanned) monitor_.options_.scanned(counts);
  }

  void scanAll() {
    folders_ = monitor_.folders_();
    try {
      report(scanner_.scanAll(folders_));
    } catch (const std::exception& error) {
      // The library could not take the changes (its file is unusable): said once, as
      // the library's own requests say it too.
      if (monitor_.options_.problem) monitor_.options_.problem(error.what());
    }
  }

  // Waits for the current watcher's events. A duplicate of its descriptor, so Asio
  // never closes the one the watcher owns.
  void follow() {
    events_.reset();  // a wait on the old watcher ends as cancelled
    if (watcher_->descriptor() < 0) return;
    const int watched = ::fcntl(watcher_->descriptor(), F_DUPFD_CLOEXEC, 0);
    if (watched < 0) return;
    events_.emplace(monitor_.context_, watched);
    waitForEvents();
  }

  void waitForEvents() {
    events_->async_wait(asio::posix::descriptor_base::wait_read,
                        [this](const std::error_code& error) {
                          if (error) return;
                          FolderWatcher::Changes changes = watcher_->changes();
                          lost_ = lost_ || changes.overflowed;
                          for (const auto& path : changes.paths) changed_.insert(path.string());
                          if (!changes.paths.empty()) {
                            quietAt_ = Clock::now() + monitor_.options_.debounce;
                            if (!latestAt_)
                              latestAt_ = Clock::now() + 10 * monitor_.options_.debounce;
                          }
                          waitForEvents();
                          step();
                        });
  }

  // Sets the timer to the next time something falls due, if anything does.
  void arm() {
    std::optional<Clock::time_point> due;
    if (quietAt_) due = std::min(*quietAt_, *latestAt_);
    if (watcher_->exhausted() || lost_) due = due ? std::min(*due, rescanAt_) : rescanAt_;
    timer_.cancel();
    if (!due) return;
    timer_.expires_at(*due);
    timer_.async_wait([this](const std::error_code& error) {
      if (!error) step();
    });
  }

  MusicFolderMonitor& monitor_;
  // Made anew when the folders change, so that the watches of folders no longer
  // followed go.
  std::optional<FolderWatcher> watcher_{std::in_place};
  TagReader reader_;
  FolderScanner scanner_;
  std::optional<asio::posix::stream_descriptor> events_;
  asio::steady_timer timer_;
  std::vector<std::filesystem::path> folders_;
  std::set<std::string> changed_;
  std::optional<Clock::time_point> quietAt_;   // when the changed paths are looked at
  std::optional<Clock::time_point> latestAt_;  // changes keep coming: looked at anyway
  Clock::time_point rescanAt_;
  bool lost_ = false;
};

MusicFolderMonitor::MusicFolderMonitor(Library& library, Folders folders, Options options)
    : library_(library),
      folders_(std::move(folders)),
      options_(std::move(options)),
      loop_(std::make_unique<Loop>(*this)) {
  asio::post(context_, [this] { loop_->start(); });
  thread_ = std::thread([this] { context_.run(); });
}

MusicFolderMonitor::~MusicFolderMonitor() {
  stopping_ = true;
  context_.stop();
  thread_.join();
  loop_.reset();
}

void MusicFolderMonitor::rescan() {
  rescanWanted_ = true;
  wake();
}

void MusicFolderMonitor::foldersMayHaveChanged() {
  foldersWanted_ = true;
  wake();
}

void MusicFolderMonitor::wake() {
  asio::post(context_, [this] { loop_->step(); });
}

}  // namespace melodock
