// The first launch on a desktop: the real binary on a private X server and session bus
// with a notification service. The welcome window opens; a library tool waits while
// the consent question is shown, the notification's "Turn On" answers it, and the call
// completes with its result. A second launch hands over to the running app and exits 0
// without printing.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { join } from 'node:path';
import { after, before, describe, it } from 'node:test';

import { startDesktop, startXvfb, windowNames } from './display.mjs';
import { binaryPath, makeHome, startWithClient, stoppedPlayer, stopWithClient, waitFor } from './melodock.mjs';

const requestTimeoutMs = 30_000;
const bounded = { timeout: 60_000 };
const clientName = 'melodock-e2e-desktop-consent';

let desktop;
let home;
let melodock;
let client;

before(async () => {
  home = await makeHome({ musicAuthorization: 'authorized' });
  desktop = await startDesktop({ notificationsLog: join(home.env.XDG_CACHE_HOME, 'notifications.log') });
  ({ melodock, client } = await startWithClient({}, clientName, requestTimeoutMs, home, desktop.env));
});

after(async () => {
  await stopWithClient(melodock, client);
  await desktop?.stop();
  await home?.remove();
});

describe('the first launch on the desktop', () => {
  it('opens the welcome window', bounded, async () => {
    const names = await waitFor(async () => {
      const found = await windowNames(desktop.display);
      return found.includes('Welcome to Melodock') ? found : null;
    }, 20_000);
    assert.ok(names, `no welcome window among: ${JSON.stringify(await windowNames(desktop.display))}`);
  });


  it('asks in a notification and answers the waiting call with "Turn On"', bounded, async () => {
    let settled = false;
    const call = client.callTool({ name: 'library_playlists', arguments: {} }, undefined, { timeout: requestTimeoutMs })
      .finally(() => { settled = true; });

    const shown = await waitFor(async () => (await desktop.notifications.calls('Notify'))[0], 20_000);
    assert.ok(shown, `no notification; stderr:\n${melodock.stderr}`);
    assert.ok(shown.includes(`"${clientName} wants to see your library and listening history."`), shown);
    assert.ok(shown.includes('"turn-on", "Turn On"'), shown);
    assert.ok(shown.includes('"not-now", "Not Now"'), shown);
    assert.equal(settled, false, 'the call did not wait for the answer');

    // The service's first notification has id 1.
    await desktop.notifications.invokeAction(1, 'turn-on');
    const result = await call;
    assert.ok(!result.isError, result.content[0].text);
    assert.deepEqual(JSON.parse(result.content[0].text),
      [{ id: 'p.1', type: 'playlist', name: 'Favourite Songs', can_edit: false }]);
    // The answer takes the notification away.
    assert.ok(await waitFor(async () => (await desktop.notifications.calls('CloseNotification')).length > 0, 10_000),
      'the notification stayed');
  });
});

describe('a second launch on the desktop', () => {
  it('raises the running app and exits 0 without printing', bounded, async () => {
    const env = { ...process.env, ...home.env, ...desktop.env };
    delete env.WAYLAND_DISPLAY;
    const second = spawn(binaryPath(), [], { env, stdio: ['ignore', 'pipe', 'pipe'] });
    let output = '';
    second.stdout.setEncoding('utf8');
    second.stdout.on('data', (chunk) => { output += chunk; });
    second.stderr.setEncoding('utf8');
    second.stderr.on('data', (chunk) => { output += chunk; });
    const ended = await new Promise((resolve) => second.once('exit', (code, signal) => resolve({ code, signal })));
    assert.deepEqual(ended, { code: 0, signal: null }, output);
    assert.equal(output, '');
    // The first app goes on serving.
    const result = await client.callTool({ name: 'now_playing', arguments: {} }, undefined, { timeout: requestTimeoutMs });
    assert.equal(result.content[0].text, stoppedPlayer);
    assert.ok(!melodock.stderr.includes('the display went away'), melodock.stderr);
  });
});

describe('Apple Music access on the desktop', () => {
  it('asks in the app\'s own dialog when it was never decided', bounded, async () => {
    const own = startXvfb();
    const ownDisplay = `:${await own.number}`;
    const started = await startWithClient({ hasSeenWelcome: true }, 'melodock-e2e-desktop-access', requestTimeoutMs,
      null, { ...desktop.env, DISPLAY: ownDisplay });
    try {
      const names = await waitFor(async () => {
        const found = await windowNames(ownDisplay);
        return found.includes('Apple Music Access') ? found : null;
      }, 20_000);
      assert.ok(names, `no access dialog among: ${JSON.stringify(await windowNames(ownDisplay))}`);
    } finally {
      await stopWithClient(started.melodock, started.client);
      own.server.kill('SIGKILL');
      await own.exited;
    }
  });
});
