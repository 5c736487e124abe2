#include "host/client_recorder.h"

#include "platform/app_settings.h"

namespace melodock {

ClientRecorder::ClientRecorder(const MainActor& main, HostStatus& status, Settings& settings)
    : main_(main),
      status_(status),
      settings_(settings),
      subscription_(settings.observe([watch = watch_] { ++watch->changes; })) {}

asio::awaitable<void> ClientRecorder::record(std::string name) const {
  if (watch_->storedAt.load() == watch_->changes.load() && status_.isLastClient(name)) co_return;
  // A named local, not a temporary inside the co_await: see base/actor.h.
  auto work = [this, name = std::move(name)] {
    status_.setLastClient(name);
    // Read from the settings each time, not remembered: a file reset while the app
    // runs gets the flag again from the next client.
    AppSettings settings(settings_);
    if (!settings.get(setting::kHasConnectedClient))
      settings.set(setting::kHasConnectedClient, true);
    // The count first: a change landing after it makes the next record hop again.
    const std::uint64_t seen = watch_->changes.load();
    if (settings.get(setting::kHasConnectedClient)) watch_->storedAt.store(seen);
  };
  co_await main_.run(std::move(work));
}

}  // namespace melodock
