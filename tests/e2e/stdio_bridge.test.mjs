// The official MCP TypeScript SDK launching `melodock --stdio` as its stdio server,
// with the app already running and with no app at all.
import assert from 'node:assert/strict';
import { describe, it } from 'node:test';

import { Client } from '@modelcontextprotocol/sdk/client/index.js';
import { StdioClientTransport } from '@modelcontextprotocol/sdk/client/stdio.js';

import { makeHome, post, startMelodock, stdioTransport } from './melodock.mjs';

const requestTimeoutMs = 30_000;
const bounded = { timeout: 60_000 };
const toolCount = 20;

async function connectOverStdio(env) {
  const { transport, stderr } = stdioTransport(StdioClientTransport, env);
  const client = new Client({ name: 'melodock-e2e-stdio', version: '1.0.0' });
  await client.connect(transport, { timeout: requestTimeoutMs });
  return { client, stderr };
}

// The same call straight to the app, for comparison.
async function directCall(url, token, name) {
  const message = { jsonrpc: '2.0', id: 1, method: 'tools/call', params: { name, arguments: {} } };
  const answer = await post(url, message, { authorization: `Bearer ${token}`,
    headers: { 'MCP-Protocol-Version': '2025-06-18' }, timeout: requestTimeoutMs });
  return answer.body.result;
}

async function listAndCall({ env, url, token }) {
  const { client, stderr } = await connectOverStdio(env);
  try {
    assert.equal(client.getServerVersion()?.name, 'melodock');
    const listed = await client.listTools(undefined, { timeout: requestTimeoutMs });
    assert.equal(listed.tools.length, toolCount);
    assert.equal(listed.tools[0].name, 'now_playing');
    const result = await client.callTool({ name: 'now_playing', arguments: {} }, undefined,
      { timeout: requestTimeoutMs });
    assert.deepEqual(result, await directCall(url, token, 'now_playing'));
    assert.ok(result.content?.[0]?.type === 'text', JSON.stringify(result));
  } finally {
    await client.close();
  }
  assert.equal(stderr(), '', 'the bridge wrote to standard error');
}

describe('the SDK client over the stdio bridge', () => {
  it('reaches the app that is already running', bounded, async () => {
    const melodock = await startMelodock();
    try {
      await listAndCall({ env: melodock.env, url: melodock.url, token: melodock.token });
    } finally {
      const ending = await melodock.stop();
      assert.deepEqual(ending, { code: 0, signal: null });
    }
  });

  it('starts the app when none is running', bounded, async () => {
    const home = await makeHome();
    try {
      assert.equal(await home.appPid(), null);
      await listAndCall(home);
      assert.notEqual(await home.appPid(), null, 'no app holds the lock');
    } finally {
      await home.remove();
    }
  });
});
