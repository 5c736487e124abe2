// Where the endpoint notes a client that identified itself, by header or during the
// handshake: the panel's "last client" and, for the welcome window, the fact that
// some client has connected at all.
#pragma once

#include <string>

#include <asio.hpp>

#include "host/host_status.h"
#include "platform/actor.h"
#include "platform/settings.h"

namespace melodock {

class ClientRecorder {
 public:
  // Every collaborator must outlive the recorder.
  ClientRecorder(const MainActor& main, HostStatus& status, Settings& settings)
      : main_(main), status_(status), settings_(settings) {}

  // On the main actor: sets the status's last client to `name` and stores
  // "hasConnectedClient" as true unless the settings already hold true. Resumes the
  // caller afterwards. Never fails: a setting that cannot be saved is reported by the
  // settings themselves.
  [[nodiscard]] asio::awaitable<void> record(std::string name) const;

 private:
  const MainActor& main_;
  HostStatus& status_;
  Settings& settings_;
};

}  // namespace melodock
