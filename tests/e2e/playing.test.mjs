// An agent's first set through the real endpoint, on the built-in catalog, with Apple
// Music access stored as granted: songs by id, the queue, then whole collections.
import assert from 'node:assert/strict';
import { setTimeout as sleep } from 'node:timers/promises';
import { after, before, describe, it } from 'node:test';

import { startWithClient, stopWithClient, toolCaller } from './melodock.mjs';

const requestTimeoutMs = 15_000;
const bounded = { timeout: 60_000 };

// Ids of the built-in catalog (data/catalog).
const forThoseAboutToRock = '1100000001'; // 343.7 s, album 1200000001
const putTheFingerOnYou = '1100000006';
const letsGetItUp = '1100000007';
const acdcAlbum = '1200000001'; // "For Those About To Rock We Salute You", 10 songs
const brazilianMusic = 'pl.f6e6a2b1ce0c0de30f3bdd0550e71163'; // 39 songs, "Sozinho" first
const rockStation = 'ra.1400000003';
const liveStation = 'ra.1400000001'; // "Melodock Radio"

let melodock;
let client;
let call; // a failing tool fails the test with its text

before(async () => {
  ({ melodock, client } = await startWithClient({ musicAuthorization: 'authorized' }, 'melodock-e2e-playing', requestTimeoutMs));
  call = toolCaller(client, requestTimeoutMs);
});

after(() => stopWithClient(melodock, client));

describe('playing songs and collections', () => {
  it('plays, queues, skips and plays collections as an agent would', bounded, async () => {
    const found = await call('search_catalog', { query: 'for those about to ROCK', limit: 5 });
    assert.ok(found.songs.some((song) => song.id === forThoseAboutToRock), JSON.stringify(found.songs));
    const started = await call('play_songs', { ids: [forThoseAboutToRock, putTheFingerOnYou, '1'], note: 'Rock night' });
    assert.equal(started.status, 'playing');
    assert.equal(started.added, 2);
    assert.deepEqual(started.missing, ['1']);
    assert.equal(started.note, 'Rock night');
    assert.equal(started.warning, undefined);
    assert.deepEqual(started.track, {
      id: forThoseAboutToRock, name: 'For Those About To Rock (We Salute You)', artist: 'AC/DC',
      album: 'For Those About To Rock We Salute You', genre: 'Rock', duration: 343,
    });

    // The position advances in real time while playing.
    const first = await call('now_playing');
    await sleep(2200);
    const later = await call('now_playing');
    assert.equal(later.track.id, forThoseAboutToRock);
    assert.ok(later.position >= first.position + 2 && later.position <= first.position + 4,
      `position ${first.position} then ${later.position}`);

    const queued = await call('play_songs', { ids: [letsGetItUp], mode: 'queue' });
    assert.equal(queued.added, 1);
    assert.equal(queued.queue_length, 3);
    assert.equal(queued.note, 'Rock night'); // adding to a set keeps its note

    const { entries } = await call('get_queue');
    assert.deepEqual(entries.map((entry) => [entry.id, entry.current ?? false]),
      [[forThoseAboutToRock, true], [putTheFingerOnYou, false], [letsGetItUp, false]]);

    const skipped = await call('playback', { action: 'next' });
    assert.equal(skipped.track.id, putTheFingerOnYou);
    assert.equal(skipped.status, 'playing');

    // A collection's note (here: none) takes effect once its answer is built.
    const album = await call('play_collection', { type: 'album', id: acdcAlbum });
    assert.equal(album.status, 'playing');
    assert.equal(album.queue_length, 10);
    assert.equal(album.track.id, forThoseAboutToRock);
    assert.equal(album.note, 'Rock night');
    assert.equal((await call('now_playing')).note, undefined);
    const albumQueue = (await call('get_queue')).entries;
    assert.equal(albumQueue.length, 10);
    assert.equal(albumQueue[9].name, 'Spellbound');

    const playlist = await call('play_collection', { type: 'playlist', id: brazilianMusic, note: 'Bossa' });
    assert.equal(playlist.status, 'playing');
    assert.equal(playlist.queue_length, 39);
    assert.equal(playlist.track.name, 'Sozinho');
    assert.equal((await call('now_playing')).note, 'Bossa');

    const station = await call('play_collection', { type: 'station', id: rockStation, shuffle: true });
    assert.equal(station.status, 'playing');
    assert.equal(station.shuffle, true);
    assert.equal(station.track.genre, 'Rock');
    await call('playback', { action: 'next' });
    assert.equal((await call('now_playing')).track.genre, 'Rock');

    const live = await call('play_collection', { type: 'station', id: liveStation });
    assert.equal(live.status, 'playing');
    assert.equal(live.queue_length, 1);
    assert.deepEqual(live.track, { name: 'Melodock Radio', subtitle: 'Live' });
    await sleep(1100);
    assert.ok((await call('now_playing')).position >= 1);
  });
});
