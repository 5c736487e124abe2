#include "app/quit_signals.h"

#include <pthread.h>

namespace melodock {

QuitSignals::QuitSignals() {
  sigemptyset(&set_);
  sigaddset(&set_, SIGINT);
  sigaddset(&set_, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set_, nullptr);
}

QuitSignals::~QuitSignals() {
  if (!watcher_.joinable()) return;
  ending_ = true;
  // The watcher waits in sigwait: one of its signals aimed at that thread alone wakes it.
  pthread_kill(watcher_.native_handle(), SIGINT);
  watcher_.join();
}

void QuitSignals::wait() {
  int signal = 0;
  while (sigwait(&set_, &signal) != 0) {
  }
}

void QuitSignals::watch(std::function<void()> quit) {
  watcher_ = std::thread([this, quit = std::move(quit)] {
    wait();
    if (ending_) return;
    {
      const std::lock_guard lock(mutex_);
      signalled_ = true;
    }
    arrived_.notify_all();
    quit();
  });
}

void QuitSignals::waitForWatch() {
  std::unique_lock lock(mutex_);
  arrived_.wait(lock, [this] { return signalled_; });
}

}  // namespace melodock
