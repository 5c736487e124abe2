#include "platform/network_path_monitor.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <string>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>

namespace melodock {
namespace {

constexpr const char* kService = "org.freedesktop.NetworkManager";
constexpr const char* kPath = "/org/freedesktop/NetworkManager";
constexpr const char* kInterface = "org.freedesktop.NetworkManager";
constexpr const char* kProperty = "Metered";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";

// NetworkManager leaving or (re)joining the bus.
constexpr const char* kOwnerRule =
    "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
    "interface='org.freedesktop.DBus',member='NameOwnerChanged',"
    "arg0='org.freedesktop.NetworkManager'";

// Shared with the reports in flight, so a destroyed monitor's handler is not called.
struct Reporter {
  NetworkPathMonitor::Handler onChange;
  std::atomic<bool> active = true;
};

}  // namespace

// Lives on the bus's strand. `bus` comes first so the proxy and the match go before the
// connection.
struct NetworkPathMonitor::State {
  std::shared_ptr<DBusConnection> bus;
  asio::any_io_executor executor;
  std::shared_ptr<Reporter> reporter;
  std::unique_ptr<sdbus::IProxy> manager;
  sdbus::Slot ownerWatch;
};

namespace {

using State = NetworkPathMonitor::State;

void report(State& state, bool lowDataMode) {
  asio::post(state.executor, [reporter = state.reporter, lowDataMode] {
    if (reporter->active) reporter->onChange(lowDataMode);
  });
}

void report(State& state, const sdbus::Variant& metered) {
  report(state, metered.containsValueOfType<std::uint32_t>() &&
                    NetworkPathMonitor::isLowDataMode(metered.get<std::uint32_t>()));
}

void read(const std::shared_ptr<State>& state) {
  auto onReply = [weak = std::weak_ptr(state)](const sdbus::Error* error,
                                               const sdbus::Variant& metered) {
    const auto state = weak.lock();
    if (!state) return;
    if (error != nullptr) {
      report(*state, false);  // no NetworkManager, or no such property
    } else {
      report(*state, metered);
    }
  };
  try {
    state->manager->callMethodAsync("Get")
        .onInterface(kProperties)
        .withArguments(kInterface, kProperty)
        .uponReplyInvoke(std::move(onReply));
  } catch (const sdbus::Error&) {
    report(*state, false);
  }
}

void onPropertiesChanged(const std::shared_ptr<State>& state, sdbus::Signal& signal) {
  std::string interface;
  std::map<std::string, sdbus::Variant> changed;
  std::vector<std::string> invalidated;
  try {
    signal >> interface >> changed >> invalidated;
  } catch (const sdbus::Error&) {
    return;  // not the standard signal's shape
  }
  if (interface != kInterface) return;
  if (const auto found = changed.find(kProperty); found != changed.end()) {
    report(*state, found->second);
  } else if (std::find(invalidated.begin(), invalidated.end(), kProperty) != invalidated.end()) {
    read(state);
  }
}

void onOwnerChanged(const std::shared_ptr<State>& state, sdbus::Message& message) {
  std::string name;
  std::string oldOwner;
  std::string newOwner;
  try {
    message >> name >> oldOwner >> newOwner;
  } catch (const sdbus::Error&) {
    return;
  }
  if (newOwner.empty()) {
    report(*state, false);  // NetworkManager has left: nothing to read
  } else {
    read(state);
  }
}

void subscribe(const std::shared_ptr<State>& state) {
  try {
    auto& connection = state->bus->connection();
    state->manager = sdbus::createProxy(connection, kService, kPath);
    state->manager->registerSignalHandler(kProperties, "PropertiesChanged",
                                          [weak = std::weak_ptr(state)](sdbus::Signal& signal) {
                                            if (const auto state = weak.lock())
                                              onPropertiesChanged(state, signal);
                                          });
    state->manager->finishRegistration();
    state->ownerWatch =
        connection.addMatch(kOwnerRule, [weak = std::weak_ptr(state)](sdbus::Message& message) {
          if (const auto state = weak.lock()) onOwnerChanged(state, message);
        });
  } catch (const sdbus::Error&) {
    report(*state, false);
    return;
  }
  read(state);
}

}  // namespace

NetworkPathMonitor::NetworkPathMonitor(std::shared_ptr<DBusConnection> systemBus,
                                       asio::any_io_executor executor, Handler onChange)
    : bus_(std::move(systemBus)) {
  if (!bus_) return;
  auto reporter = std::make_shared<Reporter>();
  reporter->onChange = std::move(onChange);
  state_ = std::make_shared<State>();
  state_->bus = bus_;
  state_->executor = std::move(executor);
  state_->reporter = std::move(reporter);
  bus_->setUp([state = state_] { subscribe(state); });
}

NetworkPathMonitor::~NetworkPathMonitor() {
  if (!bus_) return;
  state_->reporter->active = false;
  // The proxy and the match go on the strand, where sdbus-c++ may be using them.
  bus_->post([state = std::move(state_)]() mutable { state.reset(); });
}

}  // namespace melodock
