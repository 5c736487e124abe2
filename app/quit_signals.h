// The signals that end the app, SIGINT and SIGTERM. The constructor blocks them for the
// calling thread and every thread started after it, so it must run before any other
// thread exists; then whoever waits here takes them.
#pragma once

#include <signal.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace melodock {

class QuitSignals {
 public:
  QuitSignals();
  // Ends a watch that is still waiting.
  ~QuitSignals();
  QuitSignals(const QuitSignals&) = delete;
  QuitSignals& operator=(const QuitSignals&) = delete;

  // Blocks the calling thread until a signal arrives. Not together with watch().
  void wait();

  // From a thread of its own: when a signal arrives, `quit` is called once and
  // waitForWatch() returns.
  void watch(std::function<void()> quit);
  // Blocks until the watch has seen a signal.
  void waitForWatch();

 private:
  sigset_t set_{};
  std::thread watcher_;
  std::atomic<bool> ending_{false};
  std::mutex mutex_;
  std::condition_variable arrived_;
  bool signalled_ = false;
};

}  // namespace melodock
