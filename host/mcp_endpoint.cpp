// The MCP endpoint behind the HTTP server.
#include "host/mcp_host.h"

namespace melodock {

asio::awaitable<mcp::HTTPResponse> MCPHost::handle(const mcp::HTTPRequest& /*request*/,
                                                   std::string /*token*/) {
  // The MCP protocol layer is not wired in yet: every request gets the same answer.
  co_return mcp::HTTPResponse::error(503, mcp::MCPError::internalError("Melodock is starting up"));
}

}  // namespace melodock
