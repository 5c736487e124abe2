#include "bridge/stdio_bridge.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <system_error>
#include <thread>

#include "base/write_all.h"
#include "bridge/line_reader.h"
#include "bridge/parent_watchdog.h"
#include "bridge/relay_message.h"
#include "platform/detached_process.h"
#include "platform/executable_path.h"
#include "platform/listener_owner.h"
#include "platform/settings_store.h"
#include "platform/systemd_user_environment.h"

namespace melodock {
namespace {

// What the app needs from the user's session to show windows and reach the session
// bus; clients often leave these out of a stdio server's environment.
const std::vector<std::string> kSessionVariables = {"DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR",
                                                    "DBUS_SESSION_BUS_ADDRESS"};

bool blank(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

int StdioBridge::run() {
  // Clients show standard error as trouble; the bridge has nothing to say there.
  if (const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC); null >= 0) {
    ::dup2(null, STDERR_FILENO);
    ::close(null);
  }
  // A client that closes our output must not kill the bridge in the middle of a write.
  std::signal(SIGPIPE, SIG_IGN);
  ParentWatchdog::start();
  SettingsStore store(SettingsStore::defaultFile());
  AppSettings settings(store);
  StdioBridge bridge(settings, runningExecutable().value_or(installedExecutable()), STDIN_FILENO,
                     STDOUT_FILENO);
  bridge.relay();
  return 0;
}

StdioBridge::StdioBridge(AppSettings& settings, std::filesystem::path app, int input, int output)
    : settings_(settings), app_(std::move(app)), input_(input), output_(output) {}

void StdioBridge::relay() {
  LineReader reader(input_);
  while (std::optional<std::string> line = reader.next()) {
    if (blank(*line)) continue;
    std::optional<nlohmann::json> id;
    std::optional<std::vector<std::string>> modern;
    if (const auto message = parsedMessage(*line)) {
      id = requestID(*message);
      if (auto name = clientName(*message)) client_ = std::move(*name);
      modern = modernHeaders(*message);
    }
    try {
      HttpAnswer answer = post(*line, modern);
      if (answer.status == 202 || answer.body.empty()) continue;
      // A modern request names its own version; it negotiates nothing for later lines.
      if (auto version = negotiatedVersion(answer.body); version && !modern) {
        protocolVersion_ = std::move(*version);
      }
      emit(std::move(answer.body));
    } catch (const std::exception& error) {
      // Transport errors, a failed launch, a settings file that cannot be written: the
      // request gets its answer, a notification has nobody to tell.
      if (id) emitError(*id, std::string(kUnreachablePrefix) + error.what());
    }
  }
}

HttpAnswer StdioBridge::send(std::string_view line,
                             const std::optional<std::vector<std::string>>& modern) {
  const std::optional<std::int64_t> port = settings_.port();
  if (!port) {
    throw std::runtime_error("The stored port " + settings_.storedPort() + " cannot be used.");
  }
  confirmOwnListener(*port);
  std::vector<std::string> headers = {
      "Content-Type: application/json",
      "Accept: application/json, text/event-stream",
      "Authorization: Bearer " + settings_.token(),
  };
  if (modern) {
    headers.insert(headers.end(), modern->begin(), modern->end());
  } else if (protocolVersion_) {
    headers.push_back("MCP-Protocol-Version: " + *protocolVersion_);
  }
  if (client_) {
    if (auto encoded = percentEncodedClientName(*client_)) {
      headers.push_back("X-Melodock-Client: " + *encoded);
    }
  }
  return session_.post(settings_.endpoint(), line, headers, kRequestTimeout);
}

HttpAnswer StdioBridge::post(std::string_view line,
                             const std::optional<std::vector<std::string>>& modern) {
  try {
    return send(line, modern);
  } catch (const TransportError& error) {
    if (error.kind() != TransportError::Kind::cannotConnect) throw;
  }
  // Whatever listens next may be a new process: its owner is checked again.
  confirmedPort_.reset();
  launchApp();
  return send(line, modern);
}

void StdioBridge::confirmOwnListener(std::int64_t port) {
  if (confirmedPort_ == port) return;
  if (port < 1 || port > 65535) return;  // no URL can name it; the request fails on its own
  switch (loopbackListenerOwner(static_cast<std::uint16_t>(port), ::geteuid())) {
    case ListenerOwner::thisUser:
      confirmedPort_ = port;
      return;
    case ListenerOwner::none:
      throw TransportError::cannotConnect();
    case ListenerOwner::anotherUser:
      throw TransportError(TransportError::Kind::other,
                           "Port " + std::to_string(port) +
                               " on 127.0.0.1 belongs to another user, so the token was not sent.");
  }
}

void StdioBridge::launchApp() {
  pid_t app = -1;
  try {
    bool complete = true;
    for (const std::string& name : kSessionVariables)
      complete = complete && std::getenv(name.c_str());
    const auto session = complete ? std::map<std::string, std::string>() : systemdUserEnvironment();
    app = launchDetached(app_, {app_.string()}, environmentFilledFrom(kSessionVariables, session));
  } catch (const std::system_error& error) {
    throw TransportError(TransportError::Kind::other, error.what());
  }
  // A second app started by another bridge at the same moment sees this one's lock and
  // leaves; either way one listener comes up.
  bool up = false;
  for (int attempt = 0; attempt < kStartProbes && !up; ++attempt) {
    std::this_thread::sleep_for(kStartPoll);
    try {
      session_.post(settings_.endpoint(), "", {}, kRequestTimeout);
      up = true;  // any HTTP answer at all means the listener is up
    } catch (const TransportError&) {
      // not up yet: the next probe tells
    }
  }
  // An app that found another one running has left by now; it stays no zombie.
  if (app > 0) ::waitpid(app, nullptr, WNOHANG);
  if (!up) throw TransportError::cannotConnect();
}

void StdioBridge::emit(std::string body) {
  std::string line = oneLine(std::move(body));
  line += '\n';
  writeAll(output_, line);
}

void StdioBridge::emitError(const nlohmann::json& id, std::string_view message) {
  const nlohmann::json error = {
      {"jsonrpc", "2.0"},
      {"id", id},
      {"error", {{"code", kUnreachableCode}, {"message", message}}},
  };
  // A system's description may carry bytes of a path that are not UTF-8.
  emit(error.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

}  // namespace melodock
