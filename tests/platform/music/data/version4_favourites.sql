-- Version 4's "Favourite Songs", holding a loved song, rated and played as a playlist.
UPDATE sequence SET next = 3;
INSERT INTO song (id, title, artist, added_at, play_id) VALUES ('i.2', 'Desafinado', 'Jobim', 10,
  'i.2');
INSERT INTO rating VALUES ('i.2', 'song', 1, 10), ('l.1', 'playlist', 1, 10);
INSERT INTO playlist_entry VALUES ('l.1', 1, 'i.2');
INSERT INTO play (song_id, played_at, container_id, container_kind, container_name)
  VALUES ('i.2', 4000000000000, 'l.1', 'playlists', 'Favourite Songs');
