// The observable state of the host: whether the listener accepts, the last listener
// problem as a sentence for the user, and the last client that named itself. Written
// on the main actor only; readable from anywhere.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace melodock {

enum class ListenerState { setup, waiting, ready, failed, cancelled };

class HostStatus {
 public:
  using Observer = std::function<void()>;

  [[nodiscard]] bool running() const;
  [[nodiscard]] std::optional<std::string> problem() const;
  [[nodiscard]] std::optional<std::string> lastClient() const;
  // Whether the last client is `client`, without copying it.
  [[nodiscard]] bool isLastClient(std::string_view client) const;

  // Each setter notifies the observers only when the value changes.
  void setRunning(bool running);
  void setProblem(std::optional<std::string> problem);
  void setLastClient(std::optional<std::string> client);

  // A listener state change on `port`; `error` is the platform's description of a
  // failure.
  void update(ListenerState state, std::int64_t port, std::string_view error = {});

  // Called on the main actor after every change.
  void observe(Observer observer);

 private:
  void notify();

  mutable std::mutex mutex_;
  bool running_ = false;
  std::optional<std::string> problem_;
  std::optional<std::string> lastClient_;
  std::vector<Observer> observers_;
};

}  // namespace melodock
