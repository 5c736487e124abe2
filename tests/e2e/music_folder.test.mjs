// The user's own music through the real endpoint: a temporary music folder holding a
// song made at test time, found by search_library, played through GStreamer into a
// fakesink, and followed while its files leave and arrive.
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import { mkdir, mkdtemp, rename, rm, unlink } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { promisify } from 'node:util';
import { after, before, describe, it } from 'node:test';

import { startWithClient, stopWithClient, toolCaller, waitFor } from './melodock.mjs';

const run = promisify(execFile);
const requestTimeoutMs = 15_000;
const bounded = { timeout: 90_000 };
const gstLaunch = process.env.MELODOCK_GST_LAUNCH || 'gst-launch-1.0';

// A FLAC file of `seconds` of silence, tagged by GStreamer as it is encoded.
async function makeSong(path, title, artist, seconds) {
  await run(gstLaunch, [
    '-q', 'audiotestsrc', `num-buffers=${seconds * 10}`, 'samplesperbuffer=4410', 'wave=silence',
    '!', 'taginject', `tags="title=\\"${title}\\",artist=\\"${artist}\\""`,
    '!', 'audioconvert', '!', 'flacenc', '!', 'filesink', `location=${path}`,
  ]);
}

let melodock;
let client;
let root; // the music folder and a staging folder beside it
let music;
let call;

before(async () => {
  root = await mkdtemp(join(tmpdir(), 'melodock-e2e-music-'));
  music = join(root, 'music');
  await Promise.all([mkdir(music), mkdir(join(root, 'staging'))]);
  await makeSong(join(music, 'harbour.flac'), 'Quiet Harbour', 'The Test Tones', 20);
  ({ melodock, client } = await startWithClient({
    musicAuthorization: 'authorized',
    sharePersonalData: true,
    allowLibraryChanges: true,
    audioSink: 'fakesink sync=true',
    musicFolders: [music],
  }, 'melodock-e2e-music', requestTimeoutMs));
  call = toolCaller(client, requestTimeoutMs);
});

after(async () => {
  await stopWithClient(melodock, client);
  await rm(root, { recursive: true, force: true });
});

// Asks again every 100 ms until `done` holds for the answer; fails after `limitMs`.
async function until(ask, done, limitMs = 10_000) {
  let answer;
  const held = await waitFor(async () => done((answer = await ask())), limitMs, 100);
  if (!held) assert.fail(`still ${JSON.stringify(answer)} after ${limitMs} ms`);
  return answer;
}

const librarySongs = (query) => call('search_library', { query, type: 'songs' });

describe('the music folder', () => {
  it('is searched, played and followed as files leave and arrive', bounded, async () => {
    // The first scan runs once the app listens.
    const [song] = await until(() => librarySongs('quiet harbour'), (songs) => songs.length === 1);
    assert.deepEqual(song, { id: song.id, name: 'Quiet Harbour', artist: 'The Test Tones', duration: 20 });
    assert.match(song.id, /^i\.\d+$/);

    const started = await call('play_songs', { ids: [song.id] });
    assert.equal(started.status, 'playing');
    assert.deepEqual(started.track, song);
    const first = await call('now_playing');
    const later = await until(() => call('now_playing'), (now) => now.position >= first.position + 2, 8000);
    assert.equal(later.status, 'playing');
    assert.equal(later.track.id, song.id);
    assert.doesNotMatch(melodock.stderr, /can't be played/);

    await unlink(join(music, 'harbour.flac'));
    await until(() => librarySongs('quiet harbour'), (songs) => songs.length === 0);

    // Made beside the folder and moved in whole, as a file manager drops it.
    await makeSong(join(root, 'staging', 'lighthouse.flac'), 'Distant Lighthouse', 'The Test Tones', 3);
    await rename(join(root, 'staging', 'lighthouse.flac'), join(music, 'lighthouse.flac'));
    const [arrived] = await until(() => librarySongs('lighthouse'), (songs) => songs.length === 1);
    assert.equal(arrived.name, 'Distant Lighthouse');
    assert.notEqual(arrived.id, song.id);
  });
});
