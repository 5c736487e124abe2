// Follows whether the network path is metered, the computer's Low Data Mode:
// NetworkManager's `Metered` property, read once and then followed through its change
// signal. Off wherever it cannot be read (no system bus, no NetworkManager).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include <asio.hpp>

#include "platform/dbus_connection.h"

namespace melodock {

class NetworkPathMonitor {
 public:
  using Handler = std::function<void(bool isLowDataMode)>;

  // Subscribes through `systemBus->setUp()`, so build it before the bus is started.
  // `onChange` runs on `executor` with every value read: the first, one per change
  // signal, off when NetworkManager leaves the bus and its value when it comes back.
  // The same value may come twice in a row. Never called once the monitor is destroyed,
  // provided it is destroyed on `executor`; never with a null `systemBus` (Low Data Mode
  // then stays off).
  NetworkPathMonitor(std::shared_ptr<DBusConnection> systemBus, asio::any_io_executor executor,
                     Handler onChange);
  ~NetworkPathMonitor();
  NetworkPathMonitor(const NetworkPathMonitor&) = delete;
  NetworkPathMonitor& operator=(const NetworkPathMonitor&) = delete;

  // NetworkManager's NMMetered values: 1 "yes" and 3 "guess-yes" mean metered.
  [[nodiscard]] static bool isLowDataMode(std::uint32_t metered) {
    return metered == 1 || metered == 3;
  }

  struct State;

 private:
  std::shared_ptr<DBusConnection> bus_;
  std::shared_ptr<State> state_;
};

}  // namespace melodock
