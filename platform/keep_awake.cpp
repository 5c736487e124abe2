#include "platform/keep_awake.h"

#include <sdbus-c++/sdbus-c++.h>

namespace melodock {

// Lives on the bus's strand. `bus` comes first so the proxy goes before the connection.
struct KeepAwake::State {
  std::shared_ptr<DBusConnection> bus;
  std::unique_ptr<sdbus::IProxy> logind;
  bool wanted = false;
  bool pending = false;  // an Inhibit call is unanswered
  sdbus::UnixFd inhibitor;
};

namespace {

void ask(const std::shared_ptr<KeepAwake::State>& state) {
  try {
    if (!state->logind) {
      state->logind = sdbus::createProxy(state->bus->connection(), "org.freedesktop.login1",
                                         "/org/freedesktop/login1");
    }
    auto onReply = [weak = std::weak_ptr(state)](const sdbus::Error* error, sdbus::UnixFd fd) {
      const auto state = weak.lock();
      if (!state) return;
      state->pending = false;
      // Released while the call was out: `fd` closes here and logind lets go.
      if (error == nullptr && state->wanted) state->inhibitor = std::move(fd);
    };
    state->logind->callMethodAsync("Inhibit")
        .onInterface("org.freedesktop.login1.Manager")
        .withArguments(KeepAwake::kWhat, KeepAwake::kWho, KeepAwake::kWhy, KeepAwake::kMode)
        .uponReplyInvoke(std::move(onReply));
    state->pending = true;
  } catch (const sdbus::Error&) {
    state->pending = false;  // the bus is gone: nothing to hold
  }
}

void hold(const std::shared_ptr<KeepAwake::State>& state, bool held) {
  state->wanted = held;
  if (!held) {
    state->inhibitor.reset();  // closing the descriptor ends the inhibitor
    return;
  }
  if (!state->inhibitor.isValid() && !state->pending) ask(state);
}

}  // namespace

KeepAwake::KeepAwake(std::shared_ptr<DBusConnection> systemBus) : bus_(std::move(systemBus)) {
  if (!bus_) return;
  state_ = std::make_shared<State>();
  state_->bus = bus_;
}

KeepAwake::~KeepAwake() {
  if (!bus_) return;
  // The proxy and the descriptor go on the strand, where sdbus-c++ may be using them.
  bus_->post([state = std::move(state_)]() mutable {
    hold(state, false);
    state.reset();
  });
}

void KeepAwake::acquire() { want(true); }

void KeepAwake::release() { want(false); }

void KeepAwake::want(bool held) {
  if (!bus_ || wanted_.exchange(held) == held) return;
  bus_->post([state = state_, held] { hold(state, held); });
}

}  // namespace melodock
