// The panel on a desktop without a tray: the real binary on a private X server and
// session bus opens it as a window, and once an SDK client plays a song, a screenshot
// of that window shows the song's title (read back with OCR). The screenshot stays in
// the build folder (MELODOCK_SCREENSHOTS).
import assert from 'node:assert/strict';
import { mkdir } from 'node:fs/promises';
import { join } from 'node:path';
import { after, before, describe, it } from 'node:test';

import { mappedWindows, screenshot, startDesktop, textIn } from './display.mjs';
import { startWithClient, stopWithClient, waitFor } from './melodock.mjs';

const requestTimeoutMs = 30_000;
const enterSandman = '1100000077';
const duration = '03:41'; // at the panel's right edge: the picture is not cut short
const folder = process.env.MELODOCK_SCREENSHOTS;

let desktop;
let melodock;
let client;

before(async () => {
  desktop = await startDesktop();
  ({ melodock, client } = await startWithClient({ musicAuthorization: 'authorized', hasSeenWelcome: true },
    'melodock-e2e-desktop-panel', requestTimeoutMs, null, desktop.env));
});

after(async () => {
  await stopWithClient(melodock, client);
  await desktop?.stop();
});

describe('the panel on the desktop', () => {
  it('shows the title of the song an agent plays', { timeout: 60_000 }, async () => {
    assert.ok(folder, 'MELODOCK_SCREENSHOTS names no folder');
    await mkdir(folder, { recursive: true });
    const result = await client.callTool({ name: 'play_songs', arguments: { ids: [enterSandman] } }, undefined,
      { timeout: requestTimeoutMs });
    assert.ok(!result.isError, result.content[0].text);

    // The panel re-reads the player once a second while it is open.
    const file = join(folder, 'e2e-panel-playing.png');
    const large = join(folder, 'e2e-panel-playing-3x.png');
    let text = '';
    let panels = [];
    await waitFor(async () => {
      panels = (await mappedWindows(desktop.display, 'Melodock')).filter((window) => window.width === 320);
      if (panels.length !== 1) return false;
      await screenshot(desktop.display, panels[0], file);
      // Tesseract reads a window's small type far better enlarged.
      await screenshot(desktop.display, panels[0], large, 3);
      text = await textIn(large);
      return text.includes('Enter Sandman') && text.includes(duration);
    }, 20_000, 250);
    assert.equal(panels.length, 1, `no single panel window 320 wide: ${JSON.stringify(panels)}`);
    assert.ok(text.includes('Enter Sandman'), `the screenshot ${file} reads:\n${text}`);
    assert.ok(text.includes(duration), `the screenshot ${file} reads:\n${text}`);
  });
});
