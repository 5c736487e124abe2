#include "platform/desktop_notifications.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>

#include <sdbus-c++/sdbus-c++.h>

namespace melodock {
namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";
constexpr std::uint8_t kCritical = 2;  // the urgency desktops keep on screen until answered

}  // namespace

// Lives on the bus's strand. `bus` comes first so the proxy goes before the connection.
struct DesktopNotifications::State {
  std::shared_ptr<DBusConnection> bus;
  std::unique_ptr<sdbus::IProxy> service;
  std::string appName;
  std::string desktopEntry;
  // Until the service says otherwise, bodies are escaped: text shown with its
  // entities beats markup read as tags.
  bool markup = true;
  // The notifications the service has given an id, while they are shown. Weak: a Shown
  // that goes takes its entry with it.
  std::map<std::uint32_t, std::weak_ptr<Shown::Entry>> shown;
};

// On the bus's strand, except while it is made.
struct DesktopNotifications::Shown::Entry {
  std::shared_ptr<State> state;
  Handlers handlers;
  std::uint32_t id = 0;  // 0 until the service answers Notify
  bool closing = false;  // taken away by us
  bool gone = false;     // taken away by the service
};

namespace {

using State = DesktopNotifications::State;
using Entry = DesktopNotifications::Shown::Entry;

std::string escaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

void closeOnService(State& state, std::uint32_t id) {
  try {
    state.service->callMethodAsync("CloseNotification")
        .onInterface(kInterface)
        .withArguments(id)
        .uponReplyInvoke([](const sdbus::Error*) {});
  } catch (const sdbus::Error&) {
    // The bus has gone: so has the notification.
  }
}

std::shared_ptr<Entry> find(State& state, std::uint32_t id) {
  const auto found = state.shown.find(id);
  if (found == state.shown.end()) return nullptr;
  auto entry = found->second.lock();
  if (!entry) state.shown.erase(found);
  return entry;
}

void onAction(State& state, std::uint32_t id, const std::string& key) {
  const auto entry = find(state, id);
  if (entry && !entry->closing && !entry->gone && entry->handlers.onAction) {
    entry->handlers.onAction(key);
  }
}

void onClosed(State& state, std::uint32_t id) {
  const auto entry = find(state, id);
  state.shown.erase(id);
  if (!entry || entry->closing || entry->gone) return;
  entry->gone = true;
  if (entry->handlers.onClosed) entry->handlers.onClosed();
}

void subscribe(const std::shared_ptr<State>& state) {
  try {
    state->service = sdbus::createProxy(state->bus->connection(), kService, kPath);
    const std::weak_ptr<State> weak = state;
    state->service->uponSignal("ActionInvoked")
        .onInterface(kInterface)
        .call([weak](std::uint32_t id, const std::string& key) {
          if (const auto state = weak.lock()) onAction(*state, id, key);
        });
    state->service->uponSignal("NotificationClosed")
        .onInterface(kInterface)
        .call([weak](std::uint32_t id, std::uint32_t /*reason*/) {
          if (const auto state = weak.lock()) onClosed(*state, id);
        });
    state->service->finishRegistration();
    state->service->callMethodAsync("GetCapabilities")
        .onInterface(kInterface)
        .uponReplyInvoke([weak](const sdbus::Error* error, const std::vector<std::string>& caps) {
          const auto state = weak.lock();
          if (!state || error != nullptr) return;
          state->markup = std::find(caps.begin(), caps.end(), "body-markup") != caps.end();
        });
  } catch (const sdbus::Error&) {
    state->service.reset();  // no bus to speak of: nothing is shown
  }
}

void notify(const std::shared_ptr<Entry>& entry, const DesktopNotifications::Notification& shown) {
  State& state = *entry->state;
  if (!state.service || entry->closing) return;
  std::vector<std::string> actions;
  for (const auto& action : shown.actions) {
    actions.push_back(action.key);
    actions.push_back(action.label);
  }
  std::map<std::string, sdbus::Variant> hints;
  if (!state.desktopEntry.empty()) hints.emplace("desktop-entry", state.desktopEntry);
  if (shown.waitsForAnswer) hints.emplace("urgency", kCritical);
  const std::int32_t expires = shown.waitsForAnswer ? 0 : -1;  // 0: never, -1: the desktop's
  const std::string body = state.markup ? escaped(shown.body) : shown.body;
  try {
    state.service->callMethodAsync("Notify")
        .onInterface(kInterface)
        .withArguments(state.appName, std::uint32_t{0}, std::string(), shown.summary, body, actions,
                       hints, expires)
        // Holds the entry: a close that came before the id must still reach the service.
        .uponReplyInvoke([entry](const sdbus::Error* error, std::uint32_t id) {
          if (error != nullptr || id == 0) return;
          State& state = *entry->state;
          entry->id = id;
          if (entry->closing) {
            closeOnService(state, id);
          } else {
            state.shown[id] = entry;
          }
        });
  } catch (const sdbus::Error&) {
    // The bus has gone: nothing shows.
  }
}

}  // namespace

DesktopNotifications::DesktopNotifications(std::shared_ptr<DBusConnection> sessionBus,
                                           std::string appName, std::string desktopEntry)
    : bus_(std::move(sessionBus)) {
  if (!bus_) return;
  state_ = std::make_shared<State>();
  state_->bus = bus_;
  state_->appName = std::move(appName);
  state_->desktopEntry = std::move(desktopEntry);
  bus_->setUp([state = state_] { subscribe(state); });
}

DesktopNotifications::~DesktopNotifications() {
  if (!bus_) return;
  // The proxy goes on the strand, where sdbus-c++ may be using it.
  bus_->post([state = std::move(state_)]() mutable { state.reset(); });
}

std::unique_ptr<DesktopNotifications::Shown> DesktopNotifications::show(Notification notification,
                                                                        Handlers handlers) {
  auto entry = std::make_shared<Shown::Entry>();
  entry->handlers = std::move(handlers);
  if (!bus_) {
    entry->closing = true;  // never shown: nothing will call
    return std::make_unique<Shown>(std::move(entry));
  }
  entry->state = state_;
  bus_->post([entry, notification = std::move(notification)] { notify(entry, notification); });
  return std::make_unique<Shown>(std::move(entry));
}

void DesktopNotifications::Shown::close() {
  if (!entry_) return;
  if (!entry_->state) {
    entry_.reset();
    return;
  }
  const std::shared_ptr<DBusConnection> bus = entry_->state->bus;
  // The entry moves along, so its last owner lets it go on the strand.
  bus->post([entry = std::move(entry_)] {
    if (entry->closing) return;
    entry->closing = true;
    entry->handlers = {};
    State& state = *entry->state;
    if (entry->id == 0) return;  // Notify's answer closes it when it comes
    state.shown.erase(entry->id);
    if (!entry->gone) closeOnService(state, entry->id);
  });
}

}  // namespace melodock
