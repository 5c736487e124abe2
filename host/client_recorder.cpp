#include "host/client_recorder.h"

#include "platform/settings_store.h"

namespace melodock {

ClientRecorder ClientRecorder::shared() {
  return {Executor::shared().mainActor(), &HostStatus::shared(), [] {
            // Touched on the main actor only. The flag spares a settings write per
            // request; the setting itself is never set back to false.
            static bool stored = false;
            if (stored) return;
            SettingsStore& store = SettingsStore::shared();
            if (!store.boolean("hasConnectedClient").value_or(false)) {
              store.set("hasConnectedClient", true);
            }
            stored = true;
          }};
}

asio::awaitable<void> ClientRecorder::record(std::string name) const {
  // A named local, not a temporary inside the co_await: see onActor.
  auto work = [this, name = std::move(name)] {
    status->setLastClient(name);
    if (connected) connected();
  };
  co_await onActor(mainActor, std::move(work));
}

}  // namespace melodock
