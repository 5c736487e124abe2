#include "host/mcp_endpoint.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "base/percent_encoding.h"
#include "base/utf8.h"
#include "host/bearer_token_validator.h"
#include "host/server_identity.h"
#include "mcp/http_request_validators.h"
#include "mcp/server.h"
#include "mcp/stateless_http_server_transport.h"
#include "music/tools.h"

namespace melodock {
namespace {

constexpr std::int64_t kCacheTTLMilliseconds = std::int64_t{60} * 60 * 1000;  // an hour

std::shared_ptr<const mcp::HTTPRequestValidationPipeline> makePipeline(std::string token) {
  const auto& standard = mcp::standardValidators();
  // The token goes first: nothing else about a request is checked for a stranger.
  std::vector<std::shared_ptr<mcp::HTTPRequestValidator>> validators;
  validators.reserve(standard.size() + 1);
  validators.push_back(std::make_shared<BearerTokenValidator>(std::move(token)));
  validators.insert(validators.end(), standard.begin(), standard.end());
  return std::make_shared<mcp::StandardValidationPipeline>(std::move(validators));
}

// The catalogue never changes, so its answer is encoded once for every request.
mcp::Server::Configuration serverConfiguration() {
  mcp::Server::Configuration configuration = mcp::Server::Configuration::makeDefault();
  // The tools and the instructions never change while the app runs, and are the same
  // for every client.
  configuration.cacheTTLMilliseconds = kCacheTTLMilliseconds;
  configuration.cachePublic = true;
  return configuration;
}

const mcp::EncodedResult& catalogue() {
  static const mcp::EncodedResult encoded =
      mcp::EncodedResult::of(mcp::ListTools::Result{.tools = Tools::all()});
  return encoded;
}

mcp::CallTool::Result textResult(std::string text, bool isError) {
  mcp::CallTool::Result result;
  result.content.push_back(mcp::Tool::Content::text(std::move(text)));
  result.isError = isError;
  return result;
}

asio::awaitable<mcp::CallTool::Result> callTool(const Tools& tools,
                                                mcp::CallTool::Parameters call) {
  // A failing tool is still a successful JSON-RPC answer: the agent reads the text.
  // Named locals: g++ 12 destroys temporaries built in a co_await's arguments too early.
  mcp::Value::Object arguments = std::move(call.arguments).value_or(mcp::Value::Object{});
  Tools::Outcome outcome;
  try {
    outcome = co_await tools.run(std::move(call.name), std::move(arguments));
  } catch (const std::exception& error) {
    outcome.text = error.what();
    outcome.failure = std::current_exception();
  }
  co_return textResult(std::move(outcome.text), outcome.failure != nullptr);
}

}  // namespace

asio::awaitable<mcp::HTTPResponse> MCPEndpoint::handle(mcp::HTTPRequest request,
                                                       std::string token) const {
  auto transport =
      std::make_shared<mcp::StatelessHTTPServerTransport>(makePipeline(std::move(token)));

  // Before any validation: a request refused for its token still names its client.
  bool namedByHeader = false;
  if (auto header = request.header("X-Melodock-Client")) {
    std::optional<std::string> name = percentDecoded(*header);
    if (name && isValidUTF8(*name)) {
      namedByHeader = true;
      co_await recorder_.record(*name);
    }
  }

  mcp::Server server(serverInfo(), serverCapabilities(), serverConfiguration(),
                     serverInstructions());
  // A modern client names itself on every request; the bridge's header, when there is
  // one, names the client behind the bridge instead.
  if (!namedByHeader) {
    server.onModernClient([this](const mcp::Client::Info& client) {
      return recorder_.record(client.title.value_or(client.name));
    });
  }
  server.withMethodHandler<mcp::ListTools>(
      [](mcp::ListTools::Parameters) -> asio::awaitable<mcp::EncodedResult> {
        co_return catalogue();
      });
  server.withMethodHandler<mcp::CallTool>(
      [this](mcp::CallTool::Parameters call) { return callTool(tools_, std::move(call)); });

  std::optional<std::string> startFailure;
  try {
    // Not a coroutine itself: the name is read now, and the recorder outlives the server.
    co_await server.start(
        transport, [this](const mcp::Client::Info& client, const mcp::Client::Capabilities&) {
          return recorder_.record(client.title.value_or(client.name));
        });
  } catch (const std::exception& error) {
    startFailure = error.what();
  }
  if (startFailure) {
    co_return mcp::HTTPResponse::error(500, mcp::MCPError::internalError(*startFailure));
  }

  mcp::HTTPResponse response = co_await transport->handleRequest(std::move(request));
  co_await server.stop();
  co_return response;
}

}  // namespace melodock
