// An installed app (MELODOCK_BINARY, from the package or a prefix) started on a free
// port with user folders of its own: it answers an agent's catalog search, so it found
// the catalog where the installation put it.
import assert from 'node:assert/strict';

import { startWithClient, stopWithClient } from '../tests/e2e/melodock.mjs';

const timeout = 15_000;
const forThoseAboutToRock = '1100000001';

const { melodock, client } = await startWithClient({ musicAuthorization: 'authorized' },
  'melodock-check-package', timeout);
try {
  const result = await client.callTool({ name: 'search_catalog', arguments: { query: 'for those about to rock', limit: 5 } },
    undefined, { timeout });
  const text = result.content?.[0]?.text ?? '';
  assert.ok(!result.isError, `search_catalog failed: ${text}`);
  const songs = JSON.parse(text).songs ?? [];
  assert.ok(songs.some((song) => song.id === forThoseAboutToRock && song.artist === 'AC/DC'),
    `the built-in catalog's song is not found: ${text}`);
} finally {
  await stopWithClient(melodock, client);
}
console.log('the installed app answers from its installed catalog');
