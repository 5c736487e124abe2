-- Takes a library made now back to version 4's shape.
UPDATE playlist SET id = 'l.1' WHERE id = 'p.1';
DROP TRIGGER album_changed;
DROP INDEX album_by_folder;
ALTER TABLE album DROP COLUMN folder;
ALTER TABLE song DROP COLUMN album_artist;
PRAGMA user_version = 4;
