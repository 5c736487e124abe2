#include "platform/app_activation.h"

#include <sdbus-c++/sdbus-c++.h>

#include <map>
#include <string>
#include <vector>

namespace melodock {

struct AppActivation::Published {
  std::function<void()> activate;
  std::unique_ptr<sdbus::IObject> object;
};

namespace {

using PlatformData = std::map<std::string, sdbus::Variant>;

void publish(DBusConnection& bus, const std::shared_ptr<AppActivation::Published>& published) {
  sdbus::IConnection& connection = bus.connection();
  connection.requestName(AppActivation::kBusName);
  published->object = sdbus::createObject(connection, AppActivation::kPath);
  sdbus::IObject& object = *published->object;
  AppActivation::Published* const state = published.get();
  object.registerMethod("Activate")
      .onInterface(AppActivation::kInterface)
      .withInputParamNames("platform_data")
      .implementedAs([state](const PlatformData& /*platformData*/) { state->activate(); });
  // Melodock opens no files and has no actions: both mean "show the app" here.
  object.registerMethod("Open")
      .onInterface(AppActivation::kInterface)
      .withInputParamNames("uris", "platform_data")
      .implementedAs([state](const std::vector<std::string>& /*uris*/,
                             const PlatformData& /*platformData*/) { state->activate(); });
  object.registerMethod("ActivateAction")
      .onInterface(AppActivation::kInterface)
      .withInputParamNames("action_name", "parameter", "platform_data")
      .implementedAs([state](const std::string& /*action*/,
                             const std::vector<sdbus::Variant>& /*parameter*/,
                             const PlatformData& /*platformData*/) { state->activate(); });
  object.finishRegistration();
}

}  // namespace

AppActivation::AppActivation(std::shared_ptr<DBusConnection> sessionBus,
                             std::function<void()> activate)
    : bus_(std::move(sessionBus)) {
  if (!bus_) return;
  published_ = std::make_shared<Published>();
  published_->activate = std::move(activate);
  bus_->setUp([bus = bus_.get(), published = published_] {
    try {
      publish(*bus, published);
    } catch (const sdbus::Error&) {
      published->object.reset();  // the name is taken or the bus refuses: stay off it
    }
  });
}

AppActivation::~AppActivation() {
  if (!published_) return;
  // The object goes on the strand, where sdbus-c++ may be using it.
  bus_->post([published = std::move(published_)]() mutable {
    published->object.reset();
    published.reset();
  });
}

bool AppActivation::activateRunning(std::chrono::milliseconds timeout) {
  try {
    const std::unique_ptr<sdbus::IConnection> connection = sdbus::createSessionBusConnection();
    const std::unique_ptr<sdbus::IProxy> proxy = sdbus::createProxy(*connection, kBusName, kPath);
    proxy->callMethod("Activate")
        .onInterface(kInterface)
        .withTimeout(timeout)
        .withArguments(PlatformData{});
    return true;
  } catch (const sdbus::Error&) {
    return false;
  }
}

}  // namespace melodock
