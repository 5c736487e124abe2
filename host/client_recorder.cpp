#include "host/client_recorder.h"

namespace melodock {

asio::awaitable<void> ClientRecorder::record(std::string name) const {
  // A named local, not a temporary inside the co_await: see platform/actor.h.
  auto work = [this, name = std::move(name)] {
    status_.setLastClient(name);
    // Read from the settings each time, not remembered: a file reset while the app
    // runs gets the flag again from the next client.
    if (settings_.boolean("hasConnectedClient") != true) settings_.set("hasConnectedClient", true);
  };
  co_await main_.run(std::move(work));
}

}  // namespace melodock
