// The app's settings: a copy in memory that every read uses, kept current with the file
// by a thread of its own. Changes take effect in the copy at once and reach the file in
// the background, in order, so no pool thread or actor ever waits for the disk. Changes
// made by other processes (the bridge, the user's editor) reach the copy when the file
// changes.
//
// Observers are told of this process's changes at once, on the changing thread, and of
// other processes' changes on the settings thread once the copy holds them.
//
// A file that cannot be written does not stop the app: the copy keeps the values, the
// first failure is reported once, and unsaved changes are tried again with the next.
#pragma once

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <asio.hpp>

#include "platform/settings.h"
#include "platform/settings_store.h"

namespace melodock {

class LiveSettings final : public Settings {
 public:
  using ProblemObserver = std::function<void(const std::string& problem)>;

  // Reads `file` once, here and blocking (construct it where blocking is fine, such as
  // main), then starts the settings thread.
  explicit LiveSettings(std::filesystem::path file);
  // Writes what is still queued, then stops the thread.
  ~LiveSettings() override;

  [[nodiscard]] std::optional<nlohmann::json> value(std::string_view key) const override;
  void update(Change change) override;

  // Blocks until every change made so far is on disk or has failed. Not for pool
  // threads.
  void waitUntilWritten();

  // The first failure to write the file, as a sentence for the user.
  [[nodiscard]] std::optional<std::string> problem() const;
  // `observer` is called once, on the settings thread, with the first failure (at once,
  // on the caller's thread, if it has already happened).
  void onProblem(ProblemObserver observer);

 private:
  void writeQueued();
  void waitForEvents();
  void write(std::unique_lock<std::mutex>& lock);
  void reload(std::unique_lock<std::mutex>& lock);
  void toldIfChanged(std::unique_lock<std::mutex>& lock, const nlohmann::json& before);
  void watchFolder();
  void wake();

  SettingsStore store_;
  // The settings thread runs this context: writes are posted to it, and the inotify
  // descriptor on the file's folder waits there.
  asio::io_context context_{1};
  asio::executor_work_guard<asio::io_context::executor_type> work_{context_.get_executor()};
  std::optional<asio::posix::stream_descriptor> inotify_;
  int watch_ = -1;
  bool stopping_ = false;  // settings thread only

  mutable std::mutex mutex_;
  std::condition_variable written_;
  nlohmann::json copy_;
  std::vector<Change> queued_;   // not yet tried
  std::vector<Change> unsaved_;  // tried and failed; kept over reloads
  bool writing_ = false;
  std::optional<std::string> problem_;
  ProblemObserver observer_;

  std::thread thread_;
};

}  // namespace melodock
