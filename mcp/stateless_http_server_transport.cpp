#include "mcp/stateless_http_server_transport.h"

#include <asio.hpp>

#include "mcp/detail/actor.h"
#include "mcp/detail/json_text.h"
#include "mcp/http_header_name.h"
#include "mcp/http_request_validators.h"
#include "mcp/jsonrpc_message_kind.h"
#include "mcp/modern_request.h"
#include "mcp/version.h"

namespace mcp {
namespace {

// The suspended HTTP exchange of one request, resumed with the answer or a failure.
struct Waiter {
  explicit Waiter(const asio::any_io_executor& executor) : signal(executor) {}
  detail::Signal signal;
  std::optional<std::string> bytes;
  std::optional<MCPError> failure;
};

// The HTTP status of a modern-era answer: the revision gives some JSON-RPC errors
// a 4xx of their own.
int modernStatus(std::string_view answer) {
  // The library writes keys in ascending order, so only a failure starts so.
  if (!answer.starts_with(R"({"error":)")) return 200;
  const std::optional<nlohmann::json> parsed = detail::parseJSON(answer);
  const nlohmann::json* error = parsed ? detail::member(*parsed, "error") : nullptr;
  const nlohmann::json* code = error ? detail::member(*error, "code") : nullptr;
  if (!code || !code->is_number_integer()) return 200;
  switch (code->get<std::int64_t>()) {
    case -32601:
      return 404;
    case -32602:
    case -32020:
    case -32021:
    case -32022:
      return 400;
    default:
      return 200;
  }
}

std::shared_ptr<const HTTPRequestValidationPipeline> defaultPipeline() {
  return std::make_shared<StandardValidationPipeline>(standardValidators());
}

}  // namespace

// Touched on `strand` only.
struct StatelessHTTPServerTransport::State {
  State(const asio::any_io_executor& executor, Logger logger,
        std::shared_ptr<const HTTPRequestValidationPipeline> pipeline)
      : strand(joinOrMakeStrand(executor)),
        logger(std::move(logger)),
        validationPipeline(std::move(pipeline)),
        incomingSignal(strand) {}

  detail::Strand strand;
  Logger logger;
  std::shared_ptr<const HTTPRequestValidationPipeline> validationPipeline;
  bool terminated = false;
  bool started = false;
  std::deque<IncomingMessage> incoming;
  bool incomingFinished = false;
  detail::Signal incomingSignal;
  // Keyed by the id's text form; a list so that two exchanges reusing one id each
  // get an answer instead of one waiting forever.
  std::map<std::string, std::deque<std::shared_ptr<Waiter>>, std::less<>> responseWaiters;
  std::map<std::string, std::shared_ptr<const HTTPRequest>, std::less<>> httpRequestContexts;

  // `modern`, when given, is a request the transport holds to the modern era's rules.
  void deliver(std::string body, std::shared_ptr<nlohmann::json> modern = nullptr) {
    const bool isModern = modern != nullptr;
    incoming.push_back({std::move(body), std::move(modern), isModern});
    incomingSignal.notify();
  }

  asio::awaitable<HTTPResponse> handle(HTTPRequest request);
  asio::awaitable<HTTPResponse> answerRequest(HTTPRequest request, std::string id,
                                              std::shared_ptr<nlohmann::json> modern);
  asio::awaitable<void> start();
  asio::awaitable<void> terminate();
  asio::awaitable<void> route(OutgoingMessage message);
  asio::awaitable<std::optional<IncomingMessage>> next();
  asio::awaitable<std::shared_ptr<const HTTPRequest>> context(std::string key);
};

StatelessHTTPServerTransport::StatelessHTTPServerTransport(
    std::shared_ptr<const HTTPRequestValidationPipeline> validationPipeline,
    std::optional<Logger> logger)
    : validationPipeline_(validationPipeline ? std::move(validationPipeline) : defaultPipeline()),
      logger_(logger ? std::move(*logger) : Logger(kLoggerLabel)) {}

StatelessHTTPServerTransport::~StatelessHTTPServerTransport() = default;

std::shared_ptr<StatelessHTTPServerTransport::State> StatelessHTTPServerTransport::state(
    const asio::any_io_executor& executor) {
  std::lock_guard lock(stateMutex_);
  if (!state_) state_ = std::make_shared<State>(executor, logger_, validationPipeline_);
  return state_;
}

asio::awaitable<HTTPResponse> StatelessHTTPServerTransport::handleRequest(HTTPRequest request) {
  const asio::any_io_executor executor = co_await asio::this_coro::executor;
  auto s = state(executor);
  co_return co_await detail::onStrand(s->strand, s->handle(std::move(request)));
}

asio::awaitable<HTTPResponse> StatelessHTTPServerTransport::State::handle(HTTPRequest request) {
  if (terminated) {
    co_return HTTPResponse::error(
        404, MCPError::invalidRequest("Not Found: Transport has been terminated"));
  }
  if (!equalsIgnoringCase(request.method, "POST")) {
    co_return HTTPResponse::error(405, MCPError::invalidRequest("Method Not Allowed"), std::nullopt,
                                  {{"Allow", "POST"}});
  }
  if (!request.body || request.body->empty()) {
    co_return HTTPResponse::error(400, MCPError::parseError("Empty request body"));
  }
  // One parse serves the classification, the modern era's header checks and, for a
  // modern request, the server.
  std::optional<nlohmann::json> json = detail::parseJSON(*request.body);
  const std::optional<JSONRPCMessageKind> kind =
      json ? JSONRPCMessageKind::classify(*json) : std::nullopt;
  if (!kind) co_return HTTPResponse::error(400, MCPError::parseError("Invalid JSON-RPC message"));

  // A request whose header names the modern version is held to that era's rules even
  // when its body forgot the metadata.
  std::shared_ptr<nlohmann::json> modern;
  const bool modernHeader =
      request.header(HTTPHeaderName::protocolVersion) == ModernRequest::kVersion;
  if (kind->type == JSONRPCMessageKind::Type::request &&
      (modernHeader ||
       (ModernRequest::mayBeAnnouncedBy(*request.body) && ModernRequest::announcedBy(*json)))) {
    modern = std::make_shared<nlohmann::json>(std::move(*json));
  }
  const HTTPValidationContext context{
      "POST", std::nullopt,
      kind->type == JSONRPCMessageKind::Type::request && kind->method == "initialize",
      Version::supported(), modern.get()};
  if (auto refusal = validationPipeline->validate(request, context)) co_return std::move(*refusal);

  if (kind->type == JSONRPCMessageKind::Type::request) {
    co_return co_await answerRequest(std::move(request), kind->id, std::move(modern));
  }
  deliver(std::move(*request.body));
  co_return HTTPResponse::accepted();
}

asio::awaitable<HTTPResponse> StatelessHTTPServerTransport::State::answerRequest(
    HTTPRequest request, std::string id, std::shared_ptr<nlohmann::json> modern) {
  std::string body = *request.body;
  httpRequestContexts.insert_or_assign(id, std::make_shared<const HTTPRequest>(std::move(request)));
  auto waiter = std::make_shared<Waiter>(strand);
  responseWaiters[id].push_back(waiter);
  const bool isModern = modern != nullptr;
  deliver(std::move(body), std::move(modern));
  while (!waiter->bytes && !waiter->failure) co_await waiter->signal.wait();
  httpRequestContexts.erase(id);
  if (waiter->bytes) {
    const int status = isModern ? modernStatus(*waiter->bytes) : 200;
    co_return HTTPResponse::data(std::move(*waiter->bytes), {{"Content-Type", "application/json"}},
                                 status);
  }
  co_return HTTPResponse::error(500, MCPError::internalError("Error processing request: " +
                                                             waiter->failure->errorDescription()));
}

asio::awaitable<void> StatelessHTTPServerTransport::connect() {
  const asio::any_io_executor executor = co_await asio::this_coro::executor;
  auto s = state(executor);
  co_await detail::onStrand(s->strand, s->start());
}

asio::awaitable<void> StatelessHTTPServerTransport::State::start() {
  if (started) throw MCPError::internalError("Transport already started");
  started = true;
  logger.debug("Stateless HTTP server transport started");
  co_return;
}

asio::awaitable<void> StatelessHTTPServerTransport::disconnect() {
  const asio::any_io_executor executor = co_await asio::this_coro::executor;
  auto s = state(executor);
  co_await detail::onStrand(s->strand, s->terminate());
}

asio::awaitable<void> StatelessHTTPServerTransport::State::terminate() {
  if (terminated) co_return;
  terminated = true;
  logger.debug("Stateless HTTP server transport terminated");
  for (auto& [id, waiters] : responseWaiters) {
    for (const auto& waiter : waiters) {
      waiter->failure = MCPError::connectionClosed();
      waiter->signal.notify();
      logger.debug("Cancelled waiter for request", {{"requestID", id}});
    }
  }
  responseWaiters.clear();
  incomingFinished = true;
  incomingSignal.notify();
}

asio::awaitable<void> StatelessHTTPServerTransport::send(OutgoingMessage message) {
  const asio::any_io_executor executor = co_await asio::this_coro::executor;
  auto s = state(executor);
  co_await detail::onStrand(s->strand, s->route(std::move(message)));
}

asio::awaitable<void> StatelessHTTPServerTransport::State::route(OutgoingMessage message) {
  switch (message.kind) {
    case OutgoingMessage::Kind::response: {
      const std::string id = message.id->description();
      auto found = responseWaiters.find(id);
      if (found == responseWaiters.end()) {
        logger.debug("No waiter for response, may have timed out", {{"requestID", id}});
        co_return;
      }
      std::shared_ptr<Waiter> waiter = found->second.front();
      found->second.pop_front();
      if (found->second.empty()) responseWaiters.erase(found);
      waiter->bytes = std::move(message.bytes);
      waiter->signal.notify();
      co_return;
    }
    case OutgoingMessage::Kind::notification:
      logger.debug("Server-initiated notification dropped in stateless mode (no GET SSE stream)",
                   {{"method", message.method}});
      co_return;
    case OutgoingMessage::Kind::batch:
      // A batch of answers has no single id to route by.
      logger.warning("Could not classify outgoing message for routing");
      co_return;
  }
}

asio::awaitable<std::optional<std::string>> StatelessHTTPServerTransport::receive() {
  std::optional<IncomingMessage> message = co_await receiveMessage();
  if (!message) co_return std::nullopt;
  co_return std::move(message->bytes);
}

asio::awaitable<std::optional<IncomingMessage>> StatelessHTTPServerTransport::receiveMessage() {
  const asio::any_io_executor executor = co_await asio::this_coro::executor;
  auto s = state(executor);
  co_return co_await detail::onStrand(s->strand, s->next());
}

asio::awaitable<std::optional<IncomingMessage>> StatelessHTTPServerTransport::State::next() {
  while (incoming.empty() && !incomingFinished) co_await incomingSignal.wait();
  if (incoming.empty()) co_return std::nullopt;
  IncomingMessage message = std::move(incoming.front());
  incoming.pop_front();
  co_return message;
}

asio::awaitable<std::shared_ptr<const HTTPRequest>>
StatelessHTTPServerTransport::httpRequestContext(const ID& id) {
  const asio::any_io_executor executor = co_await asio::this_coro::executor;
  auto s = state(executor);
  co_return co_await detail::onStrand(s->strand, s->context(id.description()));
}

asio::awaitable<std::shared_ptr<const HTTPRequest>> StatelessHTTPServerTransport::State::context(
    std::string key) {
  auto found = httpRequestContexts.find(key);
  if (found == httpRequestContexts.end()) co_return nullptr;
  co_return found->second;
}

}  // namespace mcp
