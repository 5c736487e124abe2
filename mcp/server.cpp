#include "mcp/server.h"

#include <chrono>
#include <cstdio>

#include <asio.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <nlohmann/json.hpp>

#include "mcp/detail/actor.h"
#include "mcp/detail/json_text.h"
#include "mcp/version.h"

namespace mcp {
namespace {

using detail::Strand;

// A request being handled: what a cancellation notification needs to reach it.
struct PendingTask {
  asio::cancellation_signal signal;
  std::shared_ptr<std::atomic<bool>> cancelled = std::make_shared<std::atomic<bool>>(false);
};

template <class T>
std::optional<T> tryDecode(const nlohmann::json& json) {
  try {
    return T::fromJSON(json);
  } catch (const DecodingError&) {
    return std::nullopt;
  }
}

MCPError asMCPError(const std::exception& failure) {
  if (const auto* error = dynamic_cast<const MCPError*>(&failure)) return *error;
  return MCPError::internalError(failure.what());
}

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

Server::Batch Server::Batch::fromJSON(const nlohmann::json& json) {
  if (!json.is_array()) throw DecodingError::dataCorrupted("Expected an array for a batch");
  Batch batch;
  for (const nlohmann::json& element : json) {
    if (detail::member(element, "id")) {
      if (auto request = tryDecode<Request<AnyMethod>>(element)) {
        batch.items.emplace_back(std::move(*request));
        continue;
      }
    } else if (auto notification = tryDecode<Message<AnyNotification>>(element)) {
      batch.items.emplace_back(std::move(*notification));
      continue;
    }
    batch.items.emplace_back(
        Request<AnyMethod>(ID::ofMessage(element).value_or(ID::random()), "", nullptr));
  }
  return batch;
}

struct Server::Impl : std::enable_shared_from_this<Server::Impl> {
  Impl(Info info, Capabilities capabilities, Configuration configuration,
       std::optional<std::string> instructions)
      : serverInfo(std::move(info)),
        instructions(std::move(instructions)),
        capabilities(std::move(capabilities)),
        configuration(configuration) {}

  // Everything below is touched on `strand` only, once start() has made it.
  Info serverInfo;
  std::shared_ptr<Transport> connection;
  std::optional<std::string> instructions;
  Capabilities capabilities;
  Configuration configuration;
  std::map<std::string, RequestHandler, std::less<>> methodHandlers;
  std::map<std::string, std::vector<NotificationHandler>, std::less<>> notificationHandlers;
  std::map<ID, std::shared_ptr<PendingTask>> pendingRequestTasks;
  bool isInitialized = false;
  std::optional<Client::Info> clientInfo;
  std::optional<Client::Capabilities> clientCapabilities;
  std::optional<std::string> protocolVersion;
  InitializeHook initializeHook;

  std::optional<Strand> strand;
  Logger logger{"mcp.server"};
  bool started = false;
  bool loopRunning = false;
  bool loopCancelled = false;
  std::optional<detail::Signal> loopDone;

  asio::awaitable<void> startOnStrand(std::shared_ptr<Transport> transport, InitializeHook hook);
  asio::awaitable<void> stopOnStrand();
  // The loop keeps `self` alive until it ends.
  static asio::awaitable<void> loop(std::shared_ptr<Impl> self);
  asio::awaitable<void> runLoop();
  static asio::awaitable<void> stopIfRunning(std::shared_ptr<Impl> self);
  asio::awaitable<void> waitForLoop();
  // A batch item's handler as a task of its own, so that a cancellation reaches it only.
  static asio::awaitable<EncodedResult> invoke(RequestHandler handler, Request<AnyMethod> request,
                                               HandlerContext context);
  asio::awaitable<void> processMessage(const std::string& bytes);
  void spawnRequest(Request<AnyMethod> request);
  static asio::awaitable<void> runRequest(std::shared_ptr<Impl> self, Request<AnyMethod> request,
                                          std::shared_ptr<PendingTask> task);
  // With `sendResponse` the caller is the request's own task, which carries its
  // cancellation; without, the encoded answer comes back (a batch collects them).
  asio::awaitable<std::optional<std::string>> handleRequest(Request<AnyMethod> request,
                                                            bool sendResponse,
                                                            std::shared_ptr<PendingTask> task);
  asio::awaitable<void> handleNotification(const Message<AnyNotification>& message);
  asio::awaitable<void> handleBatch(Batch batch);
  void handleResponse(const Response<AnyMethod>& response);
  void handleCancellation(const CancelledNotification::Parameters& parameters);
  asio::awaitable<void> send(OutgoingMessage message);
  asio::awaitable<void> sendAnswer(const ID& id, std::string bytes) {
    return send({OutgoingMessage::Kind::response, std::move(bytes), id});
  }
  void installDefaultHandlers();
};

Server::Server(Info info, Capabilities capabilities, Configuration configuration,
               std::optional<std::string> instructions)
    : impl_(std::make_shared<Impl>(std::move(info), std::move(capabilities), configuration,
                                   std::move(instructions))) {}

Server::~Server() {
  if (!impl_ || !impl_->strand) return;
  // On its own strand the server can see that it has already stopped.
  if (impl_->strand->running_in_this_thread() && !impl_->connection) return;
  auto impl = impl_;
  asio::co_spawn(*impl->strand, Impl::stopIfRunning(impl),
                 ReportFailure{impl->logger, "Error stopping server"});
}

void Server::registerMethod(std::string name, RequestHandler handler) {
  impl_->methodHandlers[std::move(name)] = std::move(handler);
}

void Server::registerNotification(std::string name, NotificationHandler handler) {
  impl_->notificationHandlers[std::move(name)].push_back(std::move(handler));
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

asio::awaitable<void> Server::sendNotification(std::string method, const nlohmann::json& message) {
  OutgoingMessage outgoing{OutgoingMessage::Kind::notification, detail::encodeJSON(message),
                           std::nullopt, std::move(method)};
  co_await sendOutgoing(std::move(outgoing));
}

asio::awaitable<void> Server::sendOutgoing(OutgoingMessage message) {
  if (!impl_->strand) throw MCPError::internalError("Server connection not initialized");
  auto impl = impl_;
  co_await detail::onStrand(*impl->strand, impl->send(std::move(message)));
}

asio::awaitable<void> Server::cancelRequest(ID id, std::optional<std::string> reason) {
  co_await notify(Message<CancelledNotification>({std::move(id), std::move(reason)}));
}

void Server::Impl::installDefaultHandlers() {
  std::weak_ptr<Impl> weak = weak_from_this();
  Server::RequestHandler initialize = [weak](Request<AnyMethod> request, HandlerContext context) {
    auto handler =
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
    return callTyped<Initialize>(std::move(handler), std::move(request), std::move(context));
  };
  methodHandlers["initialize"] = std::move(initialize);
  methodHandlers["ping"] = [](Request<AnyMethod> request, HandlerContext context) {
    auto handler = [](Empty) -> asio::awaitable<Empty> { co_return Empty{}; };
    return callTyped<Ping>(std::move(handler), std::move(request), std::move(context));
  };
  notificationHandlers[std::string(CancelledNotification::name)].push_back(
      [weak](Message<AnyNotification> message) {
        auto handler = [weak](Message<CancelledNotification> cancel) -> asio::awaitable<void> {
          if (auto self = weak.lock()) self->handleCancellation(cancel.params);
          co_return;
        };
        return callTypedNotification<CancelledNotification>(std::move(handler), std::move(message));
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
  started = true;
  loopRunning = true;
  loopDone.emplace(*strand);
  asio::co_spawn(*strand, loop(shared_from_this()),
                 ReportFailure{logger, "Fatal error in message handling loop"});
  if (logger.enabled())
    logger.debug("Server started", {{"name", serverInfo.name}, {"version", serverInfo.version}});
}

asio::awaitable<void> Server::Impl::stopOnStrand() {
  loopCancelled = true;
  for (auto& [id, task] : pendingRequestTasks) {
    task->cancelled->store(true);
    task->signal.emit(asio::cancellation_type::terminal);
  }
  if (auto transport = std::exchange(connection, nullptr)) co_await transport->disconnect();
}

asio::awaitable<void> Server::Impl::stopIfRunning(std::shared_ptr<Impl> self) {
  if (self->connection) co_await self->stopOnStrand();
}

asio::awaitable<void> Server::Impl::waitForLoop() {
  while (loopRunning) co_await loopDone->wait();
}

asio::awaitable<EncodedResult> Server::Impl::invoke(RequestHandler handler,
                                                    Request<AnyMethod> request,
                                                    HandlerContext context) {
  co_return co_await handler(std::move(request), std::move(context));
}

asio::awaitable<void> Server::Impl::loop(std::shared_ptr<Impl> self) { co_await self->runLoop(); }

asio::awaitable<void> Server::Impl::runLoop() {
  try {
    while (!loopCancelled && connection) {
      auto transport = connection;
      std::optional<std::string> message = co_await transport->receive();
      if (!message || loopCancelled) break;
      co_await processMessage(*message);
    }
    logger.debug("Server finished");
  } catch (const std::exception& error) {
    logger.error("Fatal error in message handling loop", {{"error", error.what()}});
  }
  loopRunning = false;
  loopDone->notify();
}

asio::awaitable<void> Server::Impl::processMessage(const std::string& bytes) {
  std::optional<ID> rawID;
  std::exception_ptr failure;
  try {
    const std::optional<nlohmann::json> json = detail::parseJSON(bytes);
    if (json) {
      if (json->is_array()) {
        co_await handleBatch(Batch::fromJSON(*json));
        co_return;
      }
      // A message naming a method is never taken as a response, so a request that
      // also carries `result` is still answered.
      if (!detail::member(*json, "method")) {
        if (auto response = tryDecode<Response<AnyMethod>>(*json)) {
          handleResponse(*response);
          co_return;
        }
      }
      if (auto request = tryDecode<Request<AnyMethod>>(*json)) {
        spawnRequest(std::move(*request));
        co_return;
      }
      if (auto notification = tryDecode<Message<AnyNotification>>(*json)) {
        co_await handleNotification(*notification);
        co_return;
      }
      rawID = ID::ofMessage(*json);
    }
    throw MCPError::parseError("Invalid message format");
  } catch (...) {
    failure = std::current_exception();
  }

  std::optional<MCPError> error;
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& thrown) {
    if (!isResourceTemporarilyUnavailable(thrown)) {
      logger.error("Error processing message", {{"error", thrown.what()}});
      error = asMCPError(thrown);
    }
  }
  if (!error) {
    asio::steady_timer pause(*strand, std::chrono::milliseconds(10));
    co_await pause.async_wait(asio::experimental::as_tuple(asio::use_awaitable));
    co_return;
  }
  try {
    const ID id = rawID.value_or(ID::random());
    co_await sendAnswer(id, detail::encodeFailure(id, *error));
  } catch (const std::exception& sendFailure) {
    logger.error("Error processing message", {{"error", sendFailure.what()}});
  }
}

void Server::Impl::spawnRequest(Request<AnyMethod> request) {
  // Registered before the task starts, so a cancellation read right after the request
  // finds it.
  auto task = std::make_shared<PendingTask>();
  pendingRequestTasks[request.id] = task;
  // The task carries the request's cancellation: while it runs, the only place it
  // waits is inside the handler.
  asio::cancellation_slot slot = task->signal.slot();
  asio::co_spawn(
      *strand, runRequest(shared_from_this(), std::move(request), std::move(task)),
      asio::bind_cancellation_slot(slot, ReportFailure{logger, "Error processing message"}));
}

asio::awaitable<void> Server::Impl::runRequest(std::shared_ptr<Impl> self,
                                               Request<AnyMethod> request,
                                               std::shared_ptr<PendingTask> task) {
  co_await self->handleRequest(std::move(request), true, std::move(task));
}

asio::awaitable<std::optional<std::string>> Server::Impl::handleRequest(
    Request<AnyMethod> request, bool sendResponse, std::shared_ptr<PendingTask> task) {
  const ID id = request.id;
  const std::string method = request.method;
  std::optional<std::string> answer;
  std::optional<MCPError> refusal;
  bool cancelled = false;
  try {
    if (method.empty() && !sendResponse)
      throw MCPError::invalidRequest("Invalid batch item format");
    if (logger.enabled())
      logger.debug("Processing request", {{"method", method}, {"id", id.description()}});
    if (configuration.strict && method != "initialize" && method != "ping" && !isInitialized) {
      throw MCPError::invalidRequest("Server is not initialized");
    }
    auto found = methodHandlers.find(method);
    if (found == methodHandlers.end()) {
      refusal = MCPError::methodNotFound("Unknown method: " + method);
    } else if (task->cancelled->load()) {
      cancelled = true;
    } else {
      RequestHandler handler = found->second;
      HandlerContext context{id, nullptr, task->cancelled};
      if (connection) context.httpContext = co_await connection->httpRequestContext(id);
      try {
        std::optional<EncodedResult> result;
        if (sendResponse) {
          result.emplace(co_await handler(std::move(request), std::move(context)));
        } else {
          // A batch item is not a task of its own: give it one, so that a cancellation
          // reaches its handler only.
          result.emplace(co_await asio::co_spawn(
              *strand, invoke(std::move(handler), std::move(request), std::move(context)),
              asio::bind_cancellation_slot(task->signal.slot(), asio::use_awaitable)));
        }
        answer = detail::encodeSuccess(id, *result);
      } catch (const std::exception&) {
        if (!task->cancelled->load()) throw;
      }
      cancelled = task->cancelled->load();
    }
  } catch (const std::exception& failure) {
    // A cancelled task fails its next wait too; nobody wants that answer.
    cancelled = task->cancelled->load();
    if (!cancelled) refusal = asMCPError(failure);
  }
  auto entry = pendingRequestTasks.find(id);
  if (entry != pendingRequestTasks.end() && entry->second == task) pendingRequestTasks.erase(entry);

  if (cancelled) {
    logger.debug("Request cancelled", {{"method", method}, {"id", id.description()}});
    co_return std::nullopt;
  }
  if (refusal) answer = detail::encodeFailure(id, *refusal);
  if (!sendResponse) co_return answer;
  try {
    co_await sendAnswer(id, std::move(*answer));
  } catch (const std::exception& failure) {
    logger.error("Error processing message", {{"error", failure.what()}});
  }
  co_return std::nullopt;
}

asio::awaitable<void> Server::Impl::handleNotification(const Message<AnyNotification>& message) {
  if (configuration.strict && message.method != InitializedNotification::name && !isInitialized) {
    throw MCPError::invalidRequest("Server is not initialized");
  }
  auto found = notificationHandlers.find(message.method);
  if (found == notificationHandlers.end()) co_return;
  const std::vector<NotificationHandler> handlers = found->second;
  for (const NotificationHandler& handler : handlers) {
    std::optional<std::string> failure;
    try {
      co_await handler(message);
    } catch (const std::exception& error) {
      failure = error.what();
    }
    if (failure)
      logger.error("Error handling notification",
                   {{"method", message.method}, {"error", *failure}});
  }
}

asio::awaitable<void> Server::Impl::handleBatch(Batch batch) {
  logger.debug("Processing batch request");
  if (batch.items.empty()) {
    const ID id = ID::random();
    co_await sendAnswer(
        id, detail::encodeFailure(id, MCPError::invalidRequest("Batch array must not be empty")));
    co_return;
  }
  std::vector<std::string> answers;
  for (Batch::Item& item : batch.items) {
    if (auto* request = std::get_if<Request<AnyMethod>>(&item)) {
      auto task = std::make_shared<PendingTask>();
      pendingRequestTasks[request->id] = task;
      std::optional<std::string> answer =
          co_await handleRequest(std::move(*request), false, std::move(task));
      if (answer) answers.push_back(std::move(*answer));
      continue;
    }
    const auto& notification = std::get<Message<AnyNotification>>(item);
    std::optional<MCPError> refusal;
    try {
      co_await handleNotification(notification);
    } catch (const std::exception& failure) {
      refusal = asMCPError(failure);
    }
    if (refusal) {
      logger.error("Error processing message", {{"error", refusal->errorDescription()}});
      answers.push_back(detail::encodeFailure(ID::random(), *refusal));
    }
  }
  if (answers.empty()) co_return;
  std::string text = "[";
  for (const std::string& answer : answers) {
    if (text.size() > 1) text += ',';
    text += answer;
  }
  text += ']';
  OutgoingMessage message{OutgoingMessage::Kind::batch, std::move(text), std::nullopt};
  co_await send(std::move(message));
}

void Server::Impl::handleResponse(const Response<AnyMethod>& response) {
  // This server sends no requests of its own, so no response has a waiter.
  logger.warning("Received response for unknown request", {{"id", response.id.description()}});
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
  const std::shared_ptr<PendingTask> task = found->second;
  task->cancelled->store(true);
  task->signal.emit(asio::cancellation_type::terminal);
  logger.debug("Cancelled request", {{"requestId", parameters.requestId->description()},
                                     {"reason", parameters.reason.value_or("none")}});
}

asio::awaitable<void> Server::Impl::send(OutgoingMessage message) {
  if (!connection) throw MCPError::internalError("Server connection not initialized");
  auto transport = connection;
  co_await transport->send(std::move(message));
}

}  // namespace mcp
