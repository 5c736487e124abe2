// The user's library through the real endpoint: refused without consent (and nothing
// written), then with both consents stored, changed, read back, and still there after
// a clean restart and after the process is killed.
import assert from 'node:assert/strict';
import { readFile, writeFile } from 'node:fs/promises';
import { join } from 'node:path';
import { after, describe, it } from 'node:test';

import { makeHome, startWithClient, stopWithClient, toolCaller, waitFor } from './melodock.mjs';

const requestTimeoutMs = 15_000;
const bounded = { timeout: 90_000 };

// Ids of the built-in catalog (data/catalog).
const forThoseAboutToRock = '1100000001';
const putTheFingerOnYou = '1100000006';
const letsGetItUp = '1100000007';
const inject = '1100000008';
const acdcAlbum = '1200000001';

const personalRefusal = 'The user chose not to share their library and listening history. '
  + 'Continue without it. They can turn it on later: Melodock panel \u2192 Connect Your AI '
  + '\u2192 Share Library & History.';
const changesRefusal = 'The user chose not to allow changes to their library. They can turn it '
  + 'on later: Melodock panel \u2192 Connect Your AI \u2192 Allow Library Changes.';

let home;
after(() => home?.remove());

async function start(name) {
  const { melodock, client } = await startWithClient({}, name, requestTimeoutMs, home);
  return { melodock, client, call: toolCaller(client, requestTimeoutMs) };
}

async function storeSettings(changes) {
  const file = join(home.env.XDG_CONFIG_HOME, 'melodock', 'settings.json');
  const stored = JSON.parse(await readFile(file, 'utf8'));
  await writeFile(file, JSON.stringify({ ...stored, ...changes }));
}

// What the library holds, as the tools read it.
async function snapshot(call, playlistID) {
  return {
    playlists: await call('library_playlists'),
    playlist: await call('playlist_songs', { playlist_id: playlistID }),
    favourites: (await call('playlist_songs', { playlist_id: 'l.1' })).songs.map((song) => song.name),
    found: (await call('search_library', { query: 'inject', type: 'songs' })).map((song) => song.name),
    played: (await call('listening_history')).recently_played.map((song) => song.name),
  };
}

describe('the library', () => {
  it('refuses without consent, keeps every change, and survives a kill', bounded, async () => {
    home = await makeHome({ musicAuthorization: 'authorized' });

    // No consent and no front end to ask: each tool refuses at once, nothing is written.
    let app = await start('melodock-e2e-library-refused');
    const refusals = [
      ['search_library', { query: 'x' }, personalRefusal],
      ['search_library', { recently_added: true }, personalRefusal],
      ['library_playlists', {}, personalRefusal],
      ['listening_history', {}, personalRefusal],
      ['playlist_songs', { playlist_id: 'l.1' }, personalRefusal],
      ['create_playlist', { name: 'Nope', ids: [forThoseAboutToRock] }, changesRefusal],
      ['add_to_playlist', { playlist_id: 'p.2', ids: [forThoseAboutToRock] }, changesRefusal],
      ['add_to_library', { type: 'songs', ids: [inject] }, changesRefusal],
      ['rate', { id: inject, kind: 'song', rating: 'love' }, changesRefusal],
    ];
    for (const [name, args, text] of refusals) {
      assert.equal(await app.call(name, args, { failing: true }), text, name);
    }
    await stopWithClient(app.melodock, app.client);

    await storeSettings({ sharePersonalData: true, allowLibraryChanges: true });
    app = await start('melodock-e2e-library');
    const { call } = app;
    assert.deepEqual(await call('library_playlists'),
      [{ id: 'p.1', type: 'playlist', name: 'Favourite Songs', can_edit: false }]);

    const made = await call('create_playlist', { name: 'Rock Night', description: 'Loud', ids: [forThoseAboutToRock, putTheFingerOnYou] });
    assert.equal(made.created, true);
    assert.match(made.id, /^p\./);
    assert.deepEqual(await call('add_to_playlist', { playlist_id: made.id, ids: [letsGetItUp] }),
      { added: 1, playlist_id: made.id });
    const listed = await call('library_playlists');
    assert.deepEqual(listed.find((entry) => entry.id === made.id),
      { id: made.id, type: 'playlist', name: 'Rock Night', can_edit: true });
    const read = await call('playlist_songs', { playlist_id: made.id });
    assert.equal(read.playlist.name, 'Rock Night');
    assert.deepEqual(read.songs.map((track) => track.name),
      ['For Those About To Rock (We Salute You)', 'Put The Finger On You', "Let's Get It Up"]);

    assert.deepEqual(await call('rate', { id: putTheFingerOnYou, kind: 'song', rating: 'love' }),
      { id: putTheFingerOnYou, rating: 'love' });
    assert.deepEqual((await call('playlist_songs', { playlist_id: 'l.1' })).songs.map((song) => song.name),
      ['Put The Finger On You']);
    // Favourite Songs fills itself: it is no playlist to add to.
    assert.equal(await call('add_to_playlist', { playlist_id: 'p.1', ids: [inject] }, { failing: true }),
      '"Favourite Songs" can\'t be edited: it\'s Apple Music\'s or someone else\'s playlist. If it\'s '
      + 'Favourite Songs (its name depends on the language), it fills itself with loved songs: love '
      + 'the song with rate instead. Otherwise create a playlist of the user\'s own.');

    assert.deepEqual(await call('add_to_library', { type: 'songs', ids: [inject] }), { added: 1, type: 'songs' });
    assert.deepEqual((await call('search_library', { query: 'INJ', type: 'songs' })).map((song) => song.name),
      ['Inject The Venom']);

    // Plays count when a song starts; an album played counts towards heavy rotation.
    await call('play_collection', { type: 'album', id: acdcAlbum });
    await call('play_songs', { ids: [inject] });
    let history;
    await waitFor(async () => (history = await call('listening_history')).recently_played.length >= 2, 5000, 100);
    assert.deepEqual(history.recently_played.map((song) => song.id), [inject, forThoseAboutToRock]);
    assert.deepEqual(history.heavy_rotation,
      [{ id: acdcAlbum, type: 'albums', name: 'For Those About To Rock We Salute You', artist: 'AC/DC' }]);
    assert.ok(history.recommendations.length > 0);

    const before = await snapshot(call, made.id);
    await stopWithClient(app.melodock, app.client);

    // A clean restart, then a kill: the library file is the truth both times.
    for (const ending of ['restart', 'kill']) {
      app = await start(`melodock-e2e-library-${ending}`);
      assert.deepEqual(await snapshot(app.call, made.id), before, ending);
      if (ending === 'kill') {
        await app.client.close();
        assert.equal((await app.melodock.kill()).signal, 'SIGKILL');
      } else {
        await stopWithClient(app.melodock, app.client);
      }
    }
    app = await start('melodock-e2e-library-after-kill');
    assert.deepEqual(await snapshot(app.call, made.id), before);
    await stopWithClient(app.melodock, app.client);
  });
});
