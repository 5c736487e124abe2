// Playback control through the real endpoint, with Apple Music access stored as granted.
import assert from 'node:assert/strict';
import { after, before, describe, it } from 'node:test';

import { startWithClient, stopWithClient } from './melodock.mjs';

const requestTimeoutMs = 15_000;
const bounded = { timeout: 30_000 };

let melodock;
let client;

before(async () => {
  ({ melodock, client } = await startWithClient({ musicAuthorization: 'authorized' }, 'melodock-e2e-playback', requestTimeoutMs));
});

after(() => stopWithClient(melodock, client));

describe('playback control with access granted', () => {
  // In call order: each answer is the agent's text, `error: ` for a failing tool.
  const steps = [
    ['now_playing', {}, '{"queue_length":0,"repeat":"off","shuffle":false,"status":"stopped"}'],
    ['playback', { action: 'play' }, 'error: The queue is empty: there is nothing to play.'],
    ['playback', { action: 'Play' }, 'error: action must be play, pause, toggle, next, previous, or stop'],
    ['playback', { action: 'pause' }, '{"queue_length":0,"repeat":"off","shuffle":false,"status":"stopped"}'],
    ['seek', { seconds: -5 }, '{"position":0}'],
    ['set_modes', { shuffle: true, repeat: 'twice' }, 'error: repeat must be off, one, or all'],
    ['set_modes', { repeat: 'all' }, '{"repeat":"all","shuffle":true}'],
    ['set_note', { text: 'Late night\njazz' }, '{"note":"Late night jazz","queue_length":0,"repeat":"all","shuffle":true,"status":"stopped"}'],
    ['set_note', {}, '{"queue_length":0,"repeat":"all","shuffle":true,"status":"stopped"}'],
  ];
  it('answers each call as the agent reads it', bounded, async () => {
    for (const [name, args, expected] of steps) {
      const result = await client.callTool({ name, arguments: args }, undefined, { timeout: requestTimeoutMs });
      const text = (result.isError ? 'error: ' : '') + result.content[0].text;
      assert.equal(text, expected, `${name} ${JSON.stringify(args)}`);
    }
  });
});
