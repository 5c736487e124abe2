// The MCP endpoint: turns one HTTP request into one HTTP response. Each request gets a
// fresh validation pipeline, transport and server, so no session state survives from
// one request to the next.
#pragma once

#include <string>

#include <asio.hpp>

#include "host/client_recorder.h"
#include "host/host_status.h"
#include "mcp/http_request.h"
#include "mcp/http_response.h"
#include "music/tools.h"
#include "platform/actor.h"
#include "platform/settings.h"

namespace melodock {

class MCPEndpoint {
 public:
  // Every collaborator must outlive the endpoint and every request it is handling.
  MCPEndpoint(const MainActor& main, HostStatus& status, Settings& settings, const Tools& tools)
      : recorder_(main, status, settings), tools_(tools) {}

  // The answer to `request`, checked against `token`. A client that names itself (the
  // "X-Melodock-Client" header, the handshake's client info, or else a modern
  // request's client info) is recorded first.
  asio::awaitable<mcp::HTTPResponse> handle(mcp::HTTPRequest request, std::string token) const;

 private:
  ClientRecorder recorder_;
  const Tools& tools_;
};

}  // namespace melodock
