// Where the endpoint notes a client that identified itself, by header or during the
// handshake: the panel's "last client" and, for the welcome window, the fact that
// some client has connected at all.
#pragma once

#include <functional>
#include <string>

#include <asio.hpp>

#include "host/host_status.h"
#include "platform/executor.h"

namespace melodock {

struct ClientRecorder {
  // Over the shared status, the shared main actor, and "hasConnectedClient" in the
  // shared settings store.
  static ClientRecorder shared();

  // Sets `status.lastClient` to `name` and calls `connected`, both on `mainActor`, and
  // resumes the caller afterwards.
  [[nodiscard]] asio::awaitable<void> record(std::string name) const;

  Strand mainActor;
  HostStatus* status = nullptr;
  // Runs on the main actor after each update; may be empty.
  std::function<void()> connected;
};

}  // namespace melodock
