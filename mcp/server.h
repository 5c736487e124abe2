// The server role of MCP: identity, capabilities, a registry of method and
// notification handlers, and a message loop over one transport that decodes each
// message, dispatches it and writes the answer back. `initialize` and `ping` are
// answered by the server itself, and so is the modern era's `server/discover`. A
// modern-era request (see ModernRequest) is served statelessly: its metadata is
// checked, `initialize` and `ping` are unknown to it, and its results carry
// `resultType`, the server's identity in `_meta` and, for `tools/list`, cache hints.
// Its handler gets the request's `_meta` without the era's own keys, which the server
// has read (a single request; a batch's requests keep them).
//
// A host answers each HTTP request with a fresh server and transport:
//
//   asio::awaitable<mcp::HTTPResponse> answer(const mcp::HTTPRequest& request) {
//     auto transport = std::make_shared<mcp::StatelessHTTPServerTransport>(pipeline);
//     mcp::Server server({.name = "Melodock", .version = "1.0"},
//                        {.tools = mcp::Server::Capabilities::Tools{.listChanged = false}},
//                        mcp::Server::Configuration{}, instructions);
//     server.withMethodHandler<mcp::ListTools>(
//         [](mcp::ListTools::Parameters) -> asio::awaitable<mcp::ListTools::Result> {
//           co_return mcp::ListTools::Result{.tools = catalogue()};
//         });
//     server.withMethodHandler<mcp::CallTool>(
//         [](mcp::CallTool::Parameters call) -> asio::awaitable<mcp::CallTool::Result> {
//           co_return co_await dispatch(call);  // may hop to another strand and wait
//         });
//     co_await server.start(transport, [](const mcp::Client::Info& client,
//                                         const mcp::Client::Capabilities&)
//                                          -> asio::awaitable<void> { co_return; });
//     mcp::HTTPResponse response = co_await transport->handleRequest(request);
//     co_await server.stop();
//     co_return response;
//   }
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include <asio/awaitable.hpp>
#include <nlohmann/json_fwd.hpp>

#include "mcp/detail/json_text.h"
#include "mcp/encoded_result.h"
#include "mcp/handshake.h"
#include "mcp/http_request.h"
#include "mcp/messages.h"
#include "mcp/transport.h"

namespace mcp {

struct ServerConfiguration {
  // Refuse everything but `initialize` and `ping` before a successful `initialize`.
  // Modern-era requests need no handshake and are never refused for it.
  bool strict = false;
  // The modern era's cache hints on `server/discover` and `tools/list`: how long a
  // client may keep the answer, and whether shared intermediaries may keep it too.
  std::int64_t cacheTTLMilliseconds = 0;
  bool cachePublic = true;

  static ServerConfiguration makeDefault() { return {}; }
  static ServerConfiguration makeStrict() { return {.strict = true}; }
};

class Server {
 public:
  using Info = ServerInfo;
  using Capabilities = ServerCapabilities;

  using Configuration = ServerConfiguration;

  // The request a method handler is serving.
  // When the client cancels the request, the handler's pending Asio operation gets
  // terminal cancellation, emitted on the server's strand: a handler that awaits work
  // on another executor should not pass that cancellation on there.
  struct HandlerContext {
    ID id;
    std::shared_ptr<const HTTPRequest> httpContext;  // when the transport carries HTTP
  };

  // A JSON-RPC batch. An element that is neither a request nor a notification is a
  // request with an empty method, refused with "Invalid batch item format".
  struct Batch {
    using Item = std::variant<Request<AnyMethod>, Message<AnyNotification>>;
    std::vector<Item> items;

    static Batch fromJSON(const nlohmann::json& json);
  };

  // Answers a request with its result; failures are thrown.
  using RequestHandler =
      std::function<asio::awaitable<EncodedResult>(Request<AnyMethod>, HandlerContext)>;
  using NotificationHandler = std::function<asio::awaitable<void>(Message<AnyNotification>)>;
  // Told the client's identity and capabilities during `initialize`; throwing refuses
  // the handshake with that failure.
  using InitializeHook =
      std::function<asio::awaitable<void>(const Client::Info&, const Client::Capabilities&)>;
  // Told the client's identity on each modern-era request that carries one, before
  // the request is served; throwing refuses the request with that failure.
  using ModernClientHook = std::function<asio::awaitable<void>(const Client::Info&)>;

  Server(Info info, Capabilities capabilities, Configuration configuration = {},
         std::optional<std::string> instructions = std::nullopt);
  // A server still running when dropped is stopped in the background.
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;
  Server(Server&&) noexcept = default;
  Server& operator=(Server&&) noexcept = default;

  // Registers `handler` under M::name, replacing an earlier one. `handler` takes
  // M::Parameters (and optionally `const HandlerContext&`) and returns
  // asio::awaitable<M::Result>, or asio::awaitable<EncodedResult> for an answer built
  // ahead; it may throw MCPError or any std::exception. It runs on the server's strand.
  // Register before start().
  template <Method M, class Handler>
  Server& withMethodHandler(Handler handler) {
    registerMethod(std::string(M::name), [handler = std::move(handler)](Request<AnyMethod> request,
                                                                        HandlerContext context) {
      return callTyped<M>(handler, std::move(request), std::move(context));
    });
    return *this;
  }

  // Sets the hook told about modern-era clients. Register before start().
  Server& onModernClient(ModernClientHook hook);

  // Binds `transport`, installs the `initialize`, `ping` and cancellation handlers,
  // connects the transport (its failure is thrown here and nothing runs) and starts
  // the message loop on a strand of the caller's executor. Call once.
  asio::awaitable<void> start(std::shared_ptr<Transport> transport,
                              InitializeHook initializeHook = {});
  // Ends the message loop, cancels requests still being handled (nobody will read
  // their answers), disconnects the transport and unbinds it.
  asio::awaitable<void> stop();
  // Returns when the message loop has ended.
  asio::awaitable<void> waitUntilCompleted();

  // Writes a response or notification through the transport; internal error "Server
  // connection not initialized" when none is bound.
  asio::awaitable<void> send(const Response<AnyMethod>& response);
  template <Notification N>
  asio::awaitable<void> notify(const Message<N>& message) {
    OutgoingMessage outgoing{OutgoingMessage::Kind::notification,
                             detail::encodeJSON(message.toJSON()), std::nullopt, message.method};
    co_await sendOutgoing(std::move(outgoing));
  }

  struct Impl;

 private:
  template <Method M, class Handler>
  static asio::awaitable<EncodedResult> callTyped(Handler handler, Request<AnyMethod> request,
                                                  HandlerContext context) {
    Request<M> typed = typedRequest<M>(request);
    if constexpr (std::is_invocable_v<Handler&, typename M::Parameters, const HandlerContext&>) {
      auto result = co_await handler(std::move(typed.params), context);
      co_return encoded(std::move(result));
    } else {
      auto result = co_await handler(std::move(typed.params));
      co_return encoded(std::move(result));
    }
  }
  static EncodedResult encoded(EncodedResult result) { return result; }
  template <class Result>
  static EncodedResult encoded(const Result& result) {
    return EncodedResult::of(result);
  }
  template <Notification N, class Handler>
  static asio::awaitable<void> callTypedNotification(Handler handler,
                                                     Message<AnyNotification> message) {
    co_await handler(Message<N>::fromJSON(message.toJSON()));
  }

  void registerMethod(std::string name, RequestHandler handler);
  asio::awaitable<void> sendOutgoing(OutgoingMessage message);

  std::shared_ptr<Impl> impl_;
};

}  // namespace mcp
