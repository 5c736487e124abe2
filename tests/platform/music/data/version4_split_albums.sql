-- Version 4 split a folder's album by the artists its files named.
UPDATE sequence SET next = 8;
INSERT INTO album (id, title, artist, track_count, added_at, present, from_files) VALUES
  ('l.2', 'Gladiator', 'Hans Zimmer', 1, 10, 1, 1),
  ('l.4', 'Gladiator', 'Lisa Gerrard', 1, 10, 1, 1),
  ('l.6', 'Gladiator', 'Klaus Badelt', 1, 10, 1, 1);
INSERT INTO song (id, title, artist, album, added_at, play_id, path, size, modified, first_seen,
  album_id, present) VALUES
  ('i.3', 'Progeny', 'Hans Zimmer', 'Gladiator', 10, 'i.3', '/m/Gladiator/1.mp3', 5, 5, 10, 'l.2', 1),
  ('i.5', 'Now We Are Free', 'Lisa Gerrard', 'Gladiator', 10, 'i.5', '/m/Gladiator/2.mp3', 5, 5,
   10, 'l.4', 1),
  ('i.7', 'The Battle', 'Klaus Badelt', 'Gladiator', 10, 'i.7', '/m/Other/1.mp3', 5, 5, 10, 'l.6',
   1);
