#include "platform/live_settings.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
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
    : store_(std::move(file)), copy_(store_.read()) {
  if (const int inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC); inotify >= 0) {
    inotify_.emplace(context_, inotify);
  }
  watchFolder();
  waitForEvents();
  thread_ = std::thread([this] { context_.run(); });
}

LiveSettings::~LiveSettings() {
  // What is still queued is written first; then the thread's context runs out of work.
  asio::post(context_, [this] {
    writeQueued();
    stopping_ = true;
    if (inotify_) inotify_->cancel();
  });
  work_.reset();
  thread_.join();
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

void LiveSettings::wake() {
  asio::post(context_, [this] { writeQueued(); });
}

void LiveSettings::watchFolder() {
  if (!inotify_ || watch_ >= 0) return;
  // A folder that does not exist yet is watched once the first write has made it.
  watch_ = ::inotify_add_watch(inotify_->native_handle(), store_.file().parent_path().c_str(),
                               kFileEvents);
}

void LiveSettings::writeQueued() {
  std::unique_lock lock(mutex_);
  while (!queued_.empty()) write(lock);
}

void LiveSettings::waitForEvents() {
  if (!inotify_) return;
  inotify_->async_wait(
      asio::posix::descriptor_base::wait_read, [this](const std::error_code& error) {
        if (error || stopping_) return;
        bool changed = false;
        alignas(inotify_event) std::array<char, 4096> events{};
        for (ssize_t n = 0;
             (n = ::read(inotify_->native_handle(), events.data(), events.size())) > 0;) {
          for (const char* at = events.data(); at < events.data() + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            if (event->len > 0 && store_.file().filename() == event->name) changed = true;
            at += sizeof(inotify_event) + event->len;
          }
        }
        std::unique_lock lock(mutex_);
        if (changed) reload(lock);
        while (!queued_.empty()) write(lock);
        lock.unlock();
        waitForEvents();
      });
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
