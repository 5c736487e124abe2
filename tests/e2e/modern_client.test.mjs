// The official TypeScript SDK v2 client pinned to the stateless 2026-07-28 revision,
// over HTTP and through the stdio bridge, and the same client in its default mode.
import assert from 'node:assert/strict';
import { after, before, describe, it } from 'node:test';

import { Client, StreamableHTTPClientTransport } from '@modelcontextprotocol/client';
import { StdioClientTransport } from '@modelcontextprotocol/client/stdio';

import { startMelodock, stdioTransport, stopWithClient } from './melodock.mjs';

const requestTimeoutMs = 30_000;
const bounded = { timeout: 60_000 };
const modernVersion = '2026-07-28';
const supportedVersions = [modernVersion, '2025-11-25', '2025-06-18', '2025-03-26', '2024-11-05'];
const pinned = { versionNegotiation: { mode: { pin: modernVersion } } };

let melodock;

// Apple Music access stored as granted, so that the catalogue answers.
before(async () => { melodock = await startMelodock({ musicAuthorization: 'authorized' }); });

after(() => stopWithClient(melodock));

function httpTransport() {
  return new StreamableHTTPClientTransport(new URL(melodock.url), {
    requestInit: { headers: { Authorization: `Bearer ${melodock.token}` } },
  });
}

async function connected(transport, options) {
  const client = new Client({ name: 'melodock-e2e-v2', version: '2.0.0' }, options);
  await client.connect(transport, { timeout: requestTimeoutMs });
  return client;
}

// The text of a tool result: compact JSON in one text content, nothing structured.
function onlyText(result) {
  assert.equal(result.content.length, 1, JSON.stringify(result));
  assert.equal(result.content[0].type, 'text');
  assert.equal(result.structuredContent, undefined);
  return result.content[0].text;
}

async function discoverListAndCall(client) {
  assert.equal(client.getProtocolEra(), 'modern');
  assert.equal(client.getNegotiatedProtocolVersion(), modernVersion);
  assert.equal(client.getServerVersion()?.name, 'melodock');
  const discovered = await client.discover({ timeout: requestTimeoutMs });
  assert.deepEqual(discovered.supportedVersions, supportedVersions);
  assert.deepEqual(discovered.capabilities, { tools: { listChanged: false } });
  assert.match(discovered.instructions, /^You are the user's DJ/);

  const listed = await client.listTools(undefined, { timeout: requestTimeoutMs });
  assert.equal(listed.tools.length, 20);
  assert.equal(listed.tools[0].name, 'now_playing');

  const searched = await client.callTool(
    { name: 'search_catalog', arguments: { query: 'for those about to ROCK', limit: 5 } },
    { timeout: requestTimeoutMs });
  const found = onlyText(searched);
  assert.ok(!searched.isError, found);
  assert.ok(!found.includes('\n'), 'the result text is compact');
  assert.ok(JSON.parse(found).songs.some((song) => song.id === '1100000001'), found);

  const playing = await client.callTool({ name: 'now_playing', arguments: {} }, { timeout: requestTimeoutMs });
  const state = onlyText(playing);
  assert.ok(!playing.isError, state);
  assert.equal(typeof JSON.parse(state), 'object');
}

describe('the v2 SDK client pinned to 2026-07-28', () => {
  it('discovers, lists and calls over HTTP', bounded, async () => {
    const client = await connected(httpTransport(), pinned);
    try {
      await discoverListAndCall(client);
    } finally {
      await client.close();
    }
  });

  it('discovers, lists and calls through the stdio bridge', bounded, async () => {
    const { transport, stderr } = stdioTransport(StdioClientTransport, melodock.env);
    const client = await connected(transport, pinned);
    try {
      await discoverListAndCall(client);
    } finally {
      await client.close();
    }
    assert.equal(stderr(), '', 'the bridge wrote to standard error');
  });
});

describe('the v2 SDK client in its default mode', () => {
  it('still gets the earlier era over HTTP', bounded, async () => {
    const client = await connected(httpTransport());
    try {
      assert.equal(client.getProtocolEra(), 'legacy');
      assert.equal(client.getNegotiatedProtocolVersion(), '2025-11-25');
      const listed = await client.listTools(undefined, { timeout: requestTimeoutMs });
      assert.equal(listed.tools.length, 20);
      assert.equal(listed.resultType, undefined);
      onlyText(await client.callTool({ name: 'now_playing', arguments: {} }, { timeout: requestTimeoutMs }));
    } finally {
      await client.close();
    }
  });

  it('negotiates the modern era by itself in auto mode', bounded, async () => {
    const client = await connected(httpTransport(), { versionNegotiation: { mode: 'auto' } });
    try {
      assert.equal(client.getProtocolEra(), 'modern');
    } finally {
      await client.close();
    }
  });
});
