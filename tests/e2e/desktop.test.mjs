// App mode with a display: the real binary on a private X server (Xvfb). The first
// stdout line and the endpoint are as without one, and an X server that goes away
// leaves the host serving until the app is told to quit. (An app whose display stays
// ends with code 0 on SIGTERM in the other desktop tests' stopWithClient.) The app gets
// a private session bus, as the other desktop tests do: without one the toolkit
// launches a bus of its own on the display (dbus-launch), which outlives the test, and
// in one CI run an app started so stayed silent for a minute.
import assert from 'node:assert/strict';
import { after, before, describe, it } from 'node:test';

import { startDesktop } from './display.mjs';
import { startWithClient, stoppedPlayer, stopWithClient, waitFor } from './melodock.mjs';

const requestTimeoutMs = 15_000;
const bounded = { timeout: 60_000 };

async function nowPlaying(client) {
  const result = await client.callTool({ name: 'now_playing', arguments: {} }, undefined, { timeout: requestTimeoutMs });
  return result.content[0].text;
}

let desktop;
let melodock;
let client;

before(async () => {
  desktop = await startDesktop();
  ({ melodock, client } = await startWithClient({ musicAuthorization: 'authorized' }, 'melodock-e2e-desktop',
    requestTimeoutMs, null, desktop.env));
});

after(async () => {
  try {
    await stopWithClient(melodock, client);
  } finally {
    await desktop?.stop();
  }
});

describe('app mode with a display', () => {
  it('serves as it does headless', bounded, async () => {
    assert.equal(await nowPlaying(client), stoppedPlayer);
  });

  it('keeps serving when the display goes away, and ends cleanly when told', bounded, async () => {
    desktop.xvfb.server.kill('SIGTERM');
    await desktop.xvfb.exited;
    assert.ok(await waitFor(() => melodock.stderr.includes('the display went away'), 20_000),
      `the app did not notice; stderr:\n${melodock.stderr}`);
    assert.equal(await nowPlaying(client), stoppedPlayer);
  });
});
