// Where the endpoint notes a client that identified itself, by header or during the
// handshake: the panel's "last client" and, for the welcome window, the fact that
// some client has connected at all.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include <asio.hpp>

#include "host/host_status.h"
#include "platform/actor.h"
#include "platform/settings.h"

namespace melodock {

class ClientRecorder {
 public:
  // Every collaborator must outlive the recorder.
  ClientRecorder(const MainActor& main, HostStatus& status, Settings& settings);

  // Sets the status's last client to `name` and stores "hasConnectedClient" as true
  // unless the settings already hold true, on the main actor; resumes the caller
  // afterwards. When both already hold, as for a client naming itself on every
  // request, it returns at once without the hop. Never fails: a setting that cannot
  // be saved is reported by the settings themselves.
  [[nodiscard]] asio::awaitable<void> record(std::string name) const;

 private:
  // Counts the settings' changes; `storedAt` is the count at which the flag was last
  // read back as true, so any change since (a reset file, say) sends the next record
  // to the main actor again.
  struct Watch {
    std::atomic<std::uint64_t> changes{0};
    std::atomic<std::uint64_t> storedAt{UINT64_MAX};
  };

  const MainActor& main_;
  HostStatus& status_;
  Settings& settings_;
  std::shared_ptr<Watch> watch_ = std::make_shared<Watch>();
  Settings::Subscription subscription_;
};

}  // namespace melodock
