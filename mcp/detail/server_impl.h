// The state of a Server and the work done on its strand, shared by the files that
// make up the server.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <asio.hpp>
#include <nlohmann/json.hpp>

#include "mcp/detail/actor.h"
#include "mcp/server.h"

namespace mcp::detail {

// A request being handled: what a cancellation notification needs to reach it.
struct PendingTask {
  asio::cancellation_signal signal;
  bool cancelled = false;

  void cancel() {
    cancelled = true;
    signal.emit(asio::cancellation_type::terminal);
  }
};

template <class T>
std::optional<T> tryDecode(const nlohmann::json& json) {
  try {
    return T::fromJSON(json);
  } catch (const DecodingError&) {
    return std::nullopt;
  }
}

// Whether `request` could be of the modern era, judged without encoding it: the method
// is `server/discover` or its params carry a `_meta` object.
bool mayBeModern(const Request<AnyMethod>& request);
// What of `request` tells its era: its method and its params' `_meta`, without the
// arguments.
nlohmann::json eraEnvelope(const Request<AnyMethod>& request);
// For a modern-era request `message`: its params' `_meta` object (null when it has
// none), with every member that is not the era's own left in `message` and the rest
// moved out (an emptied `_meta` goes too), so that the arguments' decoding never copies
// them. Nothing, and `message` untouched, for any other message.
std::optional<nlohmann::json> takeEraMeta(nlohmann::json& message);
// The same for a message already known to be a modern-era request.
nlohmann::json splitEraMeta(nlohmann::json& message);

inline MCPError asMCPError(const std::exception& failure) {
  if (const auto* error = dynamic_cast<const MCPError*>(&failure)) return *error;
  return MCPError::internalError(failure.what());
}

}  // namespace mcp::detail

namespace mcp {

struct Server::Impl : std::enable_shared_from_this<Server::Impl> {
  Impl(Info info, Capabilities capabilities, Configuration configuration,
       std::optional<std::string> instructions)
      : serverInfo(std::move(info)),
        instructions(std::move(instructions)),
        capabilities(capabilities),
        configuration(configuration) {}

  // Everything below is touched on `strand` only, once start() has made it.
  Info serverInfo;
  std::shared_ptr<Transport> connection;
  std::optional<std::string> instructions;
  Capabilities capabilities;
  Configuration configuration;
  std::map<std::string, RequestHandler, std::less<>> methodHandlers;
  std::map<std::string, std::vector<NotificationHandler>, std::less<>> notificationHandlers;
  std::map<ID, std::shared_ptr<detail::PendingTask>> pendingRequestTasks;
  bool isInitialized = false;
  std::optional<Client::Info> clientInfo;
  std::optional<Client::Capabilities> clientCapabilities;
  std::optional<std::string> protocolVersion;
  InitializeHook initializeHook;
  ModernClientHook modernClientHook;

  std::optional<Strand> strand;
  Logger logger{"mcp.server"};
  bool loopRunning = false;
  bool loopCancelled = false;
  std::optional<detail::Signal> loopDone;

  void installDefaultHandlers();
  asio::awaitable<void> startOnStrand(std::shared_ptr<Transport> transport, InitializeHook hook);
  asio::awaitable<void> stopOnStrand() {
    loopCancelled = true;
    for (auto& [id, task] : pendingRequestTasks) task->cancel();
    if (auto transport = std::exchange(connection, nullptr)) co_await transport->disconnect();
  }
  static asio::awaitable<void> stopIfRunning(std::shared_ptr<Impl> self) {
    if (self->connection) co_await self->stopOnStrand();
  }
  asio::awaitable<void> waitForLoop() {
    while (loopRunning) co_await loopDone->wait();
  }
  // Keeps `self` alive until the transport's messages end.
  static asio::awaitable<void> loop(std::shared_ptr<Impl> self);
  asio::awaitable<void> processMessage(IncomingMessage message);
  // Hands a decoded message on; false for a message that is none of the four. `era` is
  // what takeEraMeta() took out of a request.
  asio::awaitable<bool> dispatch(const nlohmann::json& json,
                                 std::optional<nlohmann::json> era = std::nullopt);

  // A request on its own is a task of its own, so the loop reads on while it runs; it
  // sends its answer itself.
  void spawnRequest(Request<AnyMethod> request, std::optional<nlohmann::json> era);
  static asio::awaitable<void> runRequest(std::shared_ptr<Impl> self, Request<AnyMethod> request,
                                          std::shared_ptr<detail::PendingTask> task,
                                          std::optional<nlohmann::json> era);
  // The encoded answer to `request`, or nothing once `task` was cancelled: nobody reads
  // that answer. Run inside the task that `task`'s signal cancels.
  // `era`, when given, is the `_meta` of a request already known to be modern.
  asio::awaitable<std::optional<std::string>> answer(
      Request<AnyMethod> request, std::shared_ptr<detail::PendingTask> task,
      std::optional<nlohmann::json> era = std::nullopt);
  // The result of a modern-era request; failures are thrown. server_modern.cpp.
  asio::awaitable<EncodedResult> answerModern(Request<AnyMethod> request,
                                              const nlohmann::json& meta);
  [[nodiscard]] EncodedResult discoverResult() const;
  [[nodiscard]] EncodedResult modernResult(const EncodedResult& result,
                                           std::string_view method) const;
  void putCacheHints(nlohmann::json& result) const;
  std::shared_ptr<detail::PendingTask> registerTask(const ID& id) {
    auto task = std::make_shared<detail::PendingTask>();
    pendingRequestTasks[id] = task;
    return task;
  }
  asio::awaitable<void> handleNotification(const Message<AnyNotification>& message);
  asio::awaitable<void> handleBatch(Batch batch);
  void handleCancellation(const CancelledNotification::Parameters& parameters);
  asio::awaitable<void> send(OutgoingMessage message) {
    if (!connection) throw MCPError::internalError("Server connection not initialized");
    auto transport = connection;
    co_await transport->send(std::move(message));
  }
  asio::awaitable<void> sendAnswer(const ID& id, std::string bytes) {
    return send({OutgoingMessage::Kind::response, std::move(bytes), id});
  }
};

}  // namespace mcp
