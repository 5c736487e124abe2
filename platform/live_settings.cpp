#include "platform/live_settings.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>
#include <utility>

namespace melodock {
namespace {

constexpr std::uint32_t kFileEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE | IN_CREATE;

nlohmann::json applied(nlohmann::json all, const std::vector<Settings::Change>& changes) {
  for (const auto& change : changes) change(all);
  return all;
}

}  // namespace

LiveSettings::LiveSettings(std::filesystem::path file)
    : store_(std::move(file)),
      inotify_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
      wakeup_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      copy_(store_.read()) {
  watchFolder();
  thread_ = std::thread([this] { loop(); });
}

LiveSettings::~LiveSettings() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake();
  thread_.join();
  if (inotify_ >= 0) ::close(inotify_);
  if (wakeup_ >= 0) ::close(wakeup_);
}

std::optional<nlohmann::json> LiveSettings::value(std::string_view key) const {
  std::lock_guard lock(mutex_);
  const auto it = copy_.find(key);
  if (it == copy_.end()) return std::nullopt;
  return *it;
}

void LiveSettings::update(Change change) {
  {
    std::lock_guard lock(mutex_);
    change(copy_);
    queued_.push_back(std::move(change));
  }
  wake();
  changed();
}

void LiveSettings::waitUntilWritten() {
  std::unique_lock lock(mutex_);
  written_.wait(lock, [this] { return queued_.empty() && !writing_; });
}

std::optional<std::string> LiveSettings::problem() const {
  std::lock_guard lock(mutex_);
  return problem_;
}

void LiveSettings::onProblem(ProblemObserver observer) {
  std::unique_lock lock(mutex_);
  if (!problem_) {
    observer_ = std::move(observer);
    return;
  }
  const std::string already = *problem_;
  lock.unlock();
  observer(already);
}

void LiveSettings::wake() const {
  if (wakeup_ < 0) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(wakeup_, &one, sizeof one);
}

void LiveSettings::watchFolder() {
  if (inotify_ < 0 || watch_ >= 0) return;
  // A folder that does not exist yet is watched once the first write has made it.
  watch_ = ::inotify_add_watch(inotify_, store_.file().parent_path().c_str(), kFileEvents);
}

void LiveSettings::loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (!queued_.empty()) {
      write(lock);
      continue;
    }
    if (stopping_) return;
    lock.unlock();
    std::array<pollfd, 2> fds{{{wakeup_, POLLIN, 0}, {inotify_, POLLIN, 0}}};
    while (::poll(fds.data(), inotify_ >= 0 ? 2 : 1, -1) < 0 && errno == EINTR) {
    }
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t drained = ::read(wakeup_, &count, sizeof count);

    bool changed = false;
    alignas(inotify_event) std::array<char, 4096> events{};
    for (ssize_t n = 0;
         inotify_ >= 0 && (n = ::read(inotify_, events.data(), events.size())) > 0;) {
      for (const char* at = events.data(); at < events.data() + n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(at);
        if (event->len > 0 && store_.file().filename() == event->name) changed = true;
        at += sizeof(inotify_event) + event->len;
      }
    }
    lock.lock();
    if (changed) reload(lock);
  }
}

// Tells the observers, without the lock, when `before` is no longer the copy.
void LiveSettings::toldIfChanged(std::unique_lock<std::mutex>& lock, const nlohmann::json& before) {
  if (copy_ == before) return;
  lock.unlock();
  changed();
  lock.lock();
}

// Writes every queued change, together with the unsaved ones, in one replacement of the
// file. Runs on the settings thread with `lock` held; the disk is touched without it.
void LiveSettings::write(std::unique_lock<std::mutex>& lock) {
  std::vector<Change> batch = std::move(unsaved_);
  unsaved_.clear();
  batch.insert(batch.end(), std::make_move_iterator(queued_.begin()),
               std::make_move_iterator(queued_.end()));
  queued_.clear();
  writing_ = true;
  lock.unlock();

  std::optional<nlohmann::json> stored;
  std::string failure;
  try {
    stored = store_.apply(batch);
  } catch (const std::system_error& error) {
    failure = error.what();
  }
  watchFolder();

  lock.lock();
  writing_ = false;
  ProblemObserver report;
  if (stored) {
    // The file may have held other processes' changes: they join the copy, and what was
    // changed here since the write began goes on top.
    const nlohmann::json before = std::exchange(copy_, applied(std::move(*stored), queued_));
    toldIfChanged(lock, before);
  } else {
    unsaved_ = std::move(batch);
    if (!problem_) {
      problem_ = "Melodock cannot save its settings (" + failure +
                 "); it keeps the current ones until it quits.";
      report = std::move(observer_);
    }
  }
  written_.notify_all();
  if (report) {
    const std::string problem = *problem_;
    lock.unlock();
    report(problem);
    lock.lock();
  }
}

// Another process (or the user) changed the file: its contents, with the changes of
// this process not yet on disk applied over them, become the copy.
void LiveSettings::reload(std::unique_lock<std::mutex>& lock) {
  lock.unlock();
  nlohmann::json stored = store_.read();
  lock.lock();
  const nlohmann::json before =
      std::exchange(copy_, applied(applied(std::move(stored), unsaved_), queued_));
  toldIfChanged(lock, before);
}

}  // namespace melodock
