// The official MCP TypeScript SDK, and plain fetch where the SDK hides the wire,
// against the real binary.
import assert from 'node:assert/strict';
import { randomBytes } from 'node:crypto';
import { after, before, describe, it } from 'node:test';

import { LATEST_PROTOCOL_VERSION } from '@modelcontextprotocol/sdk/types.js';

import { connectClient, post as postTo, startMelodock, stoppedPlayer, stopWithClient } from './melodock.mjs';

const requestTimeoutMs = 15_000;
const bounded = { timeout: 30_000 };

// The catalogue in the order the server lists it, and whether each tool only reads.
const catalogue = [
  ['now_playing', true], ['playback', false], ['seek', false], ['set_modes', false],
  ['play_songs', false], ['play_collection', false], ['set_note', false], ['get_queue', true],
  ['search_catalog', true], ['artist_info', true], ['album_songs', true], ['charts', true],
  ['search_library', true], ['library_playlists', true], ['playlist_songs', true],
  ['create_playlist', false], ['add_to_playlist', false], ['add_to_library', false],
  ['rate', false], ['listening_history', true],
];

const supportedVersions = ['2024-11-05', '2025-03-26', '2025-06-18', '2025-11-25'];
const latestVersion = '2025-11-25';

let melodock;

before(async () => { melodock = await startMelodock(); });

after(() => stopWithClient(melodock));

const connect = (token = melodock.token) =>
  connectClient(melodock.url, token, 'melodock-e2e', requestTimeoutMs);

// One raw POST, with the token unless `authorization` says otherwise (null: no header).
const post = (message, { authorization = `Bearer ${melodock.token}`, headers = {} } = {}) =>
  postTo(melodock.url, message, { authorization, headers, timeout: requestTimeoutMs });

function initialize(protocolVersion) {
  return {
    jsonrpc: '2.0', id: 1, method: 'initialize',
    params: { protocolVersion, capabilities: {}, clientInfo: { name: 'melodock-e2e', version: '1.0.0' } },
  };
}

describe('the SDK client', () => {
  let session;
  before(async () => { session = await connect(); });
  after(async () => { await session?.client.close(); });

  it('learns who the server is and what it offers', bounded, () => {
    const { client, transport } = session;
    const info = client.getServerVersion();
    assert.equal(info.name, 'melodock');
    assert.equal(info.title, 'Melodock');
    assert.match(info.version, /\S/);
    assert.deepEqual(client.getServerCapabilities().tools, { listChanged: false });
    assert.ok(client.getInstructions()?.startsWith("You are the user's DJ"), client.getInstructions());
    assert.equal(transport.protocolVersion, LATEST_PROTOCOL_VERSION);
  });

  it('lists the whole catalogue in order, in one page', bounded, async () => {
    const listed = await session.client.listTools(undefined, { timeout: requestTimeoutMs });
    assert.equal(listed.nextCursor, undefined);
    assert.deepEqual(listed.tools.map((tool) => [tool.name, tool.annotations?.readOnlyHint]), catalogue);
    for (const tool of listed.tools) {
      assert.match(tool.description, /\S/, tool.name);
      assert.equal(tool.inputSchema.type, 'object', tool.name);
      for (const key of tool.inputSchema.required ?? []) {
        assert.ok(key in (tool.inputSchema.properties ?? {}), `${tool.name} requires unknown ${key}`);
      }
    }
  });

  // A failing tool is a result with isError, never a rejected call. Without Apple Music
  // access the player can still be read, and the note set.
  const calls = [
    ['now_playing', {}, false, stoppedPlayer],
    ['set_note', { text: ' Birthday Party\n' }, false, '{"note":"Birthday Party","queue_length":0,"repeat":"off","shuffle":false,"status":"stopped"}'],
    ['no_such_tool', {}, true, 'Unknown tool no_such_tool'],
    ['playback', { action: 'play' }, true, "Apple Music access isn't granted yet. Ask the user to open the Melodock panel and click Set Up Apple Music."],
    ['playback', {}, true, 'Missing action'],
  ];
  for (const [name, args, isError, text] of calls) {
    it(`${name}(${JSON.stringify(args)}) answers "${text}"`, bounded, async () => {
      const result = await session.client.callTool({ name, arguments: args }, undefined, { timeout: requestTimeoutMs });
      assert.equal(result.isError, isError);
      assert.deepEqual(result.content, [{ type: 'text', text }]);
    });
  }
});

// Each near miss of the token and the refusal's bytes are the host tests'; here, that
// the token the app took from its settings file is the one it asks for.
describe('the access token', () => {
  const wrongToken = () => randomBytes(24).toString('hex');
  const cases = [
    ['the right token', (token) => `Bearer ${token}`, 200],
    ['no Authorization header', () => null, 401],
    ['a wrong token', () => `Bearer ${wrongToken()}`, 401],
  ];
  for (const [label, header, status] of cases) {
    it(`${label} gets HTTP ${status}`, bounded, async () => {
      const answer = await post(initialize(latestVersion), { authorization: header(melodock.token) });
      assert.equal(answer.status, status, JSON.stringify(answer.body));
      assert.match(answer.contentType, /^application\/json/);
      assert.equal(answer.body.id, status === 200 ? 1 : null);
      assert.equal(Boolean(answer.body.result), status === 200, JSON.stringify(answer.body));
    });
  }

  it('the SDK client refuses to connect with a wrong token', bounded, async () => {
    await assert.rejects(connect(wrongToken()), (error) => error.code === 401);
  });
});

describe('protocol versions', () => {
  const cases = [
    ...supportedVersions.map((version) => [version, version]),
    ['1999-01-01', latestVersion],
    ['', latestVersion],
  ];
  for (const [requested, answered] of cases) {
    it(`initialize asking for "${requested}" is answered with ${answered}`, bounded, async () => {
      const answer = await post(initialize(requested));
      assert.equal(answer.status, 200, JSON.stringify(answer.body));
      assert.equal(answer.body.result?.protocolVersion, answered, JSON.stringify(answer.body));
      // Stateless: the next request only names the version in its header.
      const listed = await post({ jsonrpc: '2.0', id: 2, method: 'tools/list' },
        { headers: { 'MCP-Protocol-Version': answered } });
      assert.equal(listed.status, 200, JSON.stringify(listed.body));
      assert.equal(listed.body.result?.tools?.length, catalogue.length);
    });
  }
});

// Last, so that a server that falls over here has already answered everything above.
describe('concurrent requests', () => {
  it('each get their own answer', bounded, async () => {
    const names = Array.from({ length: 8 }, (_, index) => `no_such_tool_${index}`);
    const answers = await Promise.all(names.map((name, index) =>
      post({ jsonrpc: '2.0', id: 100 + index, method: 'tools/call', params: { name, arguments: {} } })));
    answers.forEach((answer, index) => {
      assert.equal(answer.status, 200, JSON.stringify(answer.body));
      assert.equal(answer.body.id, 100 + index);
      assert.deepEqual(answer.body.result?.content, [{ type: 'text', text: `Unknown tool ${names[index]}` }]);
    });
  });
});
