// Comparison peer for bench/mcp_load.cpp: the official SDK's stateless Streamable HTTP
// server, one fresh McpServer and transport per POST, as its stateless example does.
import http from 'node:http';

import { McpServer } from '@modelcontextprotocol/sdk/server/mcp.js';
import { StreamableHTTPServerTransport } from '@modelcontextprotocol/sdk/server/streamableHttp.js';

const port = Number(process.argv[2]);
if (!Number.isInteger(port) || port <= 0 || port > 65535) {
  console.error('usage: node server.mjs <port>');
  process.exit(2);
}

function makeServer() {
  const server = new McpServer({ name: 'sdk-bench-server', version: '1.0.0' });
  server.registerTool(
    'now_playing',
    { description: 'What is playing now.' },
    async () => ({ content: [{ type: 'text', text: 'Nothing is playing.' }] }),
  );
  return server;
}

const httpServer = http.createServer(async (req, res) => {
  if (req.method !== 'POST') {
    res.writeHead(405).end();
    return;
  }
  const server = makeServer();
  const transport = new StreamableHTTPServerTransport({
    sessionIdGenerator: undefined,
    enableJsonResponse: true,
  });
  res.on('close', () => {
    transport.close();
    server.close();
  });
  try {
    await server.connect(transport);
    await transport.handleRequest(req, res);
  } catch (error) {
    if (!res.headersSent) {
      res.writeHead(500, { 'Content-Type': 'application/json' });
      res.end(JSON.stringify({ jsonrpc: '2.0', error: { code: -32603, message: String(error) }, id: null }));
    }
  }
});

httpServer.listen(port, '127.0.0.1', () => {
  console.log(`SDK server is listening on http://127.0.0.1:${port}/mcp`);
});

process.on('SIGTERM', () => process.exit(0));
process.on('SIGINT', () => process.exit(0));
