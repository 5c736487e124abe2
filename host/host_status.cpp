#include "host/host_status.h"

namespace melodock {

bool HostStatus::running() const {
  std::lock_guard lock(mutex_);
  return running_;
}

std::optional<std::string> HostStatus::problem() const {
  std::lock_guard lock(mutex_);
  return problem_;
}

std::optional<std::string> HostStatus::lastClient() const {
  std::lock_guard lock(mutex_);
  return lastClient_;
}

bool HostStatus::isLastClient(std::string_view client) const {
  std::lock_guard lock(mutex_);
  return lastClient_ == client;
}

void HostStatus::setRunning(bool running) {
  {
    std::lock_guard lock(mutex_);
    if (running_ == running) return;
    running_ = running;
  }
  notify();
}

void HostStatus::setProblem(std::optional<std::string> problem) {
  {
    std::lock_guard lock(mutex_);
    if (problem_ == problem) return;
    problem_ = std::move(problem);
  }
  notify();
}

void HostStatus::setLastClient(std::optional<std::string> client) {
  {
    std::lock_guard lock(mutex_);
    if (lastClient_ == client) return;
    lastClient_ = std::move(client);
  }
  notify();
}

void HostStatus::update(ListenerState state, std::int64_t port, std::string_view error) {
  switch (state) {
    case ListenerState::ready:
      setRunning(true);
      setProblem(std::nullopt);
      break;
    case ListenerState::failed:
      setRunning(false);
      setProblem("Port " + std::to_string(port) + ": " + std::string(error));
      break;
    case ListenerState::cancelled:
      setRunning(false);
      break;
    case ListenerState::setup:
    case ListenerState::waiting:
      break;
  }
}

void HostStatus::observe(Observer observer) {
  std::lock_guard lock(mutex_);
  observers_.push_back(std::move(observer));
}

void HostStatus::notify() {
  std::vector<Observer> observers;
  {
    std::lock_guard lock(mutex_);
    observers = observers_;
  }
  for (const auto& observer : observers) observer();
}

}  // namespace melodock
