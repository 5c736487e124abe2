#include "mcp/server.h"

#include <asio.hpp>
#include <nlohmann/json.hpp>

#include "mcp/detail/actor.h"
#include "mcp/detail/json_text.h"
#include "mcp/detail/server_impl.h"
#include "mcp/modern_request.h"
#include "mcp/version.h"

namespace mcp {

using detail::asMCPError;
using detail::PendingTask;
using detail::tryDecode;

namespace {

// Reports a background task that ended by an exception.
struct ReportFailure {
  Logger logger;
  const char* what;
  void operator()(const std::exception_ptr& failure) const {
    if (!failure) return;
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& error) {
      logger.error(what, {{"error", error.what()}});
    }
  }
};

}  // namespace

Server::Server(Info info, Capabilities capabilities, Configuration configuration,
               std::optional<std::string> instructions)
    : impl_(std::make_shared<Impl>(std::move(info), capabilities, configuration,
                                   std::move(instructions))) {}

Server::~Server() {
  if (!impl_ || !impl_->strand) return;
  // On its own strand the server can see that it has already stopped.
  if (impl_->strand->running_in_this_thread() && !impl_->connection) return;
  auto impl = impl_;
  asio::co_spawn(*impl->strand, Impl::stopIfRunning(impl),
                 ReportFailure{impl->logger, "Error stopping server"});
}

Server& Server::onModernClient(ModernClientHook hook) {
  impl_->modernClientHook = std::move(hook);
  return *this;
}

void Server::registerMethod(std::string name, RequestHandler handler) {
  impl_->methodHandlers[std::move(name)] = std::move(handler);
}

asio::awaitable<void> Server::start(std::shared_ptr<Transport> transport,
                                    InitializeHook initializeHook) {
  if (!impl_->strand) {
    const asio::any_io_executor executor = co_await asio::this_coro::executor;
    impl_->strand.emplace(joinOrMakeStrand(executor));
  }
  auto impl = impl_;
  co_await detail::onStrand(*impl->strand,
                            impl->startOnStrand(std::move(transport), std::move(initializeHook)));
}

asio::awaitable<void> Server::stop() {
  if (!impl_->strand) co_return;
  auto impl = impl_;
  co_await detail::onStrand(*impl->strand, impl->stopOnStrand());
}

asio::awaitable<void> Server::waitUntilCompleted() {
  if (!impl_->strand) co_return;
  auto impl = impl_;
  co_await detail::onStrand(*impl->strand, impl->waitForLoop());
}

asio::awaitable<void> Server::send(const Response<AnyMethod>& response) {
  OutgoingMessage message{OutgoingMessage::Kind::response, detail::encodeJSON(response.toJSON()),
                          response.id};
  co_await sendOutgoing(std::move(message));
}

asio::awaitable<void> Server::sendOutgoing(OutgoingMessage message) {
  if (!impl_->strand) throw MCPError::internalError("Server connection not initialized");
  auto impl = impl_;
  co_await detail::onStrand(*impl->strand, impl->send(std::move(message)));
}

void Server::Impl::installDefaultHandlers() {
  std::weak_ptr<Impl> weak = weak_from_this();
  auto initialize =
      [weak](Initialize::Parameters parameters) -> asio::awaitable<Initialize::Result> {
    auto self = weak.lock();
    if (!self) throw MCPError::internalError("Server was deallocated");
    if (self->isInitialized) throw MCPError::invalidRequest("Server is already initialized");
    if (self->initializeHook)
      co_await self->initializeHook(parameters.clientInfo, parameters.capabilities);
    std::string version = Version::negotiate(parameters.protocolVersion);
    self->clientInfo = parameters.clientInfo;
    self->clientCapabilities = parameters.capabilities;
    self->protocolVersion = version;
    self->isInitialized = true;
    co_return Initialize::Result{std::move(version), self->capabilities, self->serverInfo,
                                 self->instructions, std::nullopt};
  };
  methodHandlers["initialize"] = [initialize](Request<AnyMethod> request, HandlerContext context) {
    return callTyped<Initialize>(initialize, std::move(request), std::move(context));
  };
  methodHandlers["ping"] = [](Request<AnyMethod> request, HandlerContext context) {
    auto pong = [](Empty) -> asio::awaitable<Empty> { co_return Empty{}; };
    return callTyped<Ping>(pong, std::move(request), std::move(context));
  };
  auto cancel = [weak](Message<CancelledNotification> message) -> asio::awaitable<void> {
    if (auto self = weak.lock()) self->handleCancellation(message.params);
    co_return;
  };
  notificationHandlers[std::string(CancelledNotification::name)].push_back(
      [cancel](Message<AnyNotification> message) {
        return callTypedNotification<CancelledNotification>(cancel, std::move(message));
      });
}

asio::awaitable<void> Server::Impl::startOnStrand(std::shared_ptr<Transport> transport,
                                                  InitializeHook hook) {
  connection = transport;
  logger = transport->logger();
  initializeHook = std::move(hook);
  installDefaultHandlers();
  try {
    co_await transport->connect();
  } catch (...) {
    connection.reset();
    throw;
  }
  loopRunning = true;
  loopDone.emplace(*strand);
  asio::co_spawn(*strand, loop(shared_from_this()),
                 ReportFailure{logger, "Fatal error in message handling loop"});
  if (logger.enabled())
    logger.debug("Server started", {{"name", serverInfo.name}, {"version", serverInfo.version}});
}

asio::awaitable<void> Server::Impl::loop(std::shared_ptr<Impl> self) {
  try {
    while (!self->loopCancelled && self->connection) {
      auto transport = self->connection;
      std::optional<IncomingMessage> message = co_await transport->receiveMessage();
      if (!message || self->loopCancelled) break;
      co_await self->processMessage(std::move(*message));
    }
    self->logger.debug("Server finished");
  } catch (const std::exception& error) {
    self->logger.error("Fatal error in message handling loop", {{"error", error.what()}});
  }
  self->loopRunning = false;
  self->loopDone->notify();
}

asio::awaitable<void> Server::Impl::processMessage(IncomingMessage message) {
  std::optional<ID> id;  // of the error answer: the message's own when usable
  std::optional<MCPError> error;
  try {
    // The transport's parse when it made one; the bytes are read only otherwise.
    std::optional<nlohmann::json> own;
    nlohmann::json* json = message.parsed.get();
    if (!json) {
      own = detail::parseJSON(message.bytes);
      if (own) json = &*own;
    }
    std::optional<nlohmann::json> era;
    if (json && message.parsed && message.modern) {
      era = detail::splitEraMeta(*json);
    } else if (json && (message.parsed || ModernRequest::mayBeAnnouncedBy(message.bytes))) {
      era = detail::takeEraMeta(*json);
    }
    if (json && co_await dispatch(*json, std::move(era))) co_return;
    if (json) id = ID::ofMessage(*json);
    throw MCPError::parseError("Invalid message format");
  } catch (const std::exception& failure) {
    logger.error("Error processing message", {{"error", failure.what()}});
    error = asMCPError(failure);
  }
  const ID answerID = id.value_or(ID::random());
  try {
    co_await sendAnswer(answerID, detail::encodeFailure(answerID, *error));
  } catch (const std::exception& failure) {
    logger.error("Error processing message", {{"error", failure.what()}});
  }
}

asio::awaitable<bool> Server::Impl::dispatch(const nlohmann::json& json,
                                             std::optional<nlohmann::json> era) {
  if (json.is_array()) {  // server_batch.cpp
    co_await handleBatch(Batch::fromJSON(json));
    co_return true;
  }
  // A message naming a method is never taken as a response, so a request that also
  // carries `result` is still answered. No response has a waiter: this server sends
  // no requests of its own.
  if (!detail::member(json, "method")) {
    if (auto response = tryDecode<Response<AnyMethod>>(json)) {
      logger.warning("Received response for unknown request", {{"id", response->id.description()}});
      co_return true;
    }
  }
  if (auto request = tryDecode<Request<AnyMethod>>(json)) {
    spawnRequest(std::move(*request), std::move(era));
    co_return true;
  }
  if (auto notification = tryDecode<Message<AnyNotification>>(json)) {
    co_await handleNotification(*notification);
    co_return true;
  }
  co_return false;
}

void Server::Impl::spawnRequest(Request<AnyMethod> request, std::optional<nlohmann::json> era) {
  // Registered before the task starts, so a cancellation read right after the request
  // finds it.
  auto task = registerTask(request.id);
  asio::cancellation_slot slot = task->signal.slot();
  asio::co_spawn(
      *strand, runRequest(shared_from_this(), std::move(request), std::move(task), std::move(era)),
      asio::bind_cancellation_slot(slot, ReportFailure{logger, "Error processing message"}));
}

asio::awaitable<void> Server::Impl::runRequest(std::shared_ptr<Impl> self,
                                               Request<AnyMethod> request,
                                               std::shared_ptr<PendingTask> task,
                                               std::optional<nlohmann::json> era) {
  const ID id = request.id;
  // `task` holds the cancellation signal of this very task, so it stays to the end.
  std::optional<std::string> reply =
      co_await self->answer(std::move(request), task, std::move(era));
  if (reply) co_await self->sendAnswer(id, std::move(*reply));
}

asio::awaitable<std::optional<std::string>> Server::Impl::answer(
    Request<AnyMethod> request, std::shared_ptr<PendingTask> task,
    std::optional<nlohmann::json> era) {
  const ID id = request.id;
  const std::string method = request.method;
  std::optional<std::string> reply;
  try {
    if (logger.enabled())
      logger.debug("Processing request", {{"method", method}, {"id", id.description()}});
    std::optional<nlohmann::json> modern = std::move(era);
    if (!modern && detail::mayBeModern(request)) {
      nlohmann::json message = detail::eraEnvelope(request);
      if (ModernRequest::announcedBy(message)) {
        // The envelope holds params only to carry `_meta`.
        auto params = message.find("params");
        modern = params == message.end() ? nlohmann::json() : std::move((*params)["_meta"]);
      }
    }
    if (modern) {
      if (!task->cancelled) {
        const EncodedResult result = co_await answerModern(std::move(request), *modern);
        reply = detail::encodeSuccess(id, result);
      }
    } else if (configuration.strict && method != "initialize" && method != "ping" &&
               !isInitialized) {
      throw MCPError::invalidRequest("Server is not initialized");
    } else if (auto found = methodHandlers.find(method); found == methodHandlers.end()) {
      throw MCPError::methodNotFound("Unknown method: " + method);
    } else if (!task->cancelled) {
      RequestHandler handler = found->second;
      HandlerContext context{id, nullptr};
      if (connection) context.httpContext = co_await connection->httpRequestContext(id);
      const EncodedResult result = co_await handler(std::move(request), std::move(context));
      reply = detail::encodeSuccess(id, result);
    }
  } catch (const std::exception& failure) {
    reply = detail::encodeFailure(id, asMCPError(failure));
  }
  auto entry = pendingRequestTasks.find(id);
  if (entry != pendingRequestTasks.end() && entry->second == task) pendingRequestTasks.erase(entry);
  if (task->cancelled) {
    logger.debug("Request cancelled", {{"method", method}, {"id", id.description()}});
    co_return std::nullopt;
  }
  co_return reply;
}

asio::awaitable<void> Server::Impl::handleNotification(const Message<AnyNotification>& message) {
  if (configuration.strict && message.method != InitializedNotification::name && !isInitialized)
    throw MCPError::invalidRequest("Server is not initialized");
  auto found = notificationHandlers.find(message.method);
  if (found == notificationHandlers.end()) co_return;
  const std::vector<NotificationHandler> handlers = found->second;
  for (const NotificationHandler& handler : handlers) {
    try {
      co_await handler(message);
    } catch (const std::exception& error) {
      logger.error("Error handling notification",
                   {{"method", message.method}, {"error", error.what()}});
    }
  }
}

void Server::Impl::handleCancellation(const CancelledNotification::Parameters& parameters) {
  logger.debug("Received cancellation notification");
  if (!parameters.requestId) {
    logger.warning("Received cancellation notification with no requestId (violates spec MUST)");
    return;
  }
  auto found = pendingRequestTasks.find(*parameters.requestId);
  if (found == pendingRequestTasks.end()) {
    logger.debug("Cancellation notification for unknown or completed request",
                 {{"requestId", parameters.requestId->description()}});
    return;
  }
  found->second->cancel();
  logger.debug("Cancelled request", {{"requestId", parameters.requestId->description()},
                                     {"reason", parameters.reason.value_or("none")}});
}

}  // namespace mcp
