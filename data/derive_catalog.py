#!/usr/bin/env python3
"""Derives the built-in catalog's data set from the two source data sets.

Usage: python3 data/derive_catalog.py SOURCE_DIR

SOURCE_DIR holds chinook/Chinook_Sqlite.sqlite and
classic-rock/classic-rock-song-list.csv. The result goes to data/catalog/ as
tab-separated text; rerunning it gives the same bytes. Developers run this; the
build and the program read only data/catalog/.
"""

import collections
import csv
import hashlib
import os
import re
import sqlite3
import sys
import unicodedata

# Catalog ids: the Chinook id plus a fixed offset per kind, so that kinds never collide
# and an id stays the same from one derivation to the next.
TRACK_ID_BASE = 1_100_000_000
ALBUM_ID_BASE = 1_200_000_000
ARTIST_ID_BASE = 1_300_000_000
STATION_ID_BASE = 1_400_000_000

# Television, film and audiobook material stays out of a music catalog.
NON_MUSIC_GENRES = {"TV Shows", "Drama", "Comedy", "Sci Fi & Fantasy", "Science Fiction"}
NON_MUSIC_PLAYLISTS = {"Movies", "TV Shows", "Audiobooks"}
# Files this account may not play: DRM-protected purchases of someone else.
PROTECTED_MEDIA = {"Protected AAC audio file", "Protected MPEG-4 video file"}
VIDEO_MEDIA = {"Protected MPEG-4 video file"}

# Chinook ships its "Music" playlist twice (ids 1 and 8, same tracks); a catalog
# lists it once.
DUPLICATE_PLAYLISTS = {8}

# Invented editors for some playlists; the others have no curator.
CURATORS = {
    "90’s Music": "Decades Desk",
    "Brazilian Music": "Rio Sessions",
    "Classical": "Concert Hall",
    "Classical 101 - Deep Cuts": "Concert Hall",
    "Classical 101 - Next Steps": "Concert Hall",
    "Classical 101 - The Basics": "Concert Hall",
    "Grunge": "Seattle Sound",
    "Heavy Metal Classic": "Metal Vault",
}

# Stations: (number, name, live, seed kind, seed). A live station broadcasts and has
# no songs of its own; the others play an endless run drawn from their seed.
STATIONS = [
    (1, "Melodock Radio", True, "chart", ""),
    (2, "Classic Rock Live", True, "genre", "Rock"),
    (3, "Rock Station", False, "genre", "Rock"),
    (4, "Metal Station", False, "genre", "Metal"),
    (5, "Alternative & Punk Station", False, "genre", "Alternative & Punk"),
    (6, "Latin Station", False, "genre", "Latin"),
    (7, "Jazz Station", False, "genre", "Jazz"),
    (8, "Blues Station", False, "genre", "Blues"),
    (9, "Classical Station", False, "genre", "Classical"),
    (10, "Reggae Station", False, "genre", "Reggae"),
    (11, "Iron Maiden Station", False, "artist", "Iron Maiden"),
    (12, "Led Zeppelin Station", False, "artist", "Led Zeppelin"),
    (13, "U2 Station", False, "artist", "U2"),
    (14, "Miles Davis Station", False, "artist", "Miles Davis"),
    (15, "Antônio Carlos Jobim Station", False, "artist", "Antônio Carlos Jobim"),
]


def normalised(text):
    """Title or artist reduced for matching: no accents, case, punctuation or '&'."""
    text = unicodedata.normalize("NFKD", text)
    text = "".join(c for c in text if not unicodedata.combining(c)).lower()
    text = text.replace("&", " and ")
    return re.sub(r"[^a-z0-9]+", " ", text).strip()


def clean(text):
    if text is None:
        return ""
    text = " ".join(text.split())
    assert "\t" not in text and "\n" not in text
    return text


def playlist_id(chinook_id):
    digest = hashlib.md5(f"melodock-playlist-{chinook_id}".encode()).hexdigest()
    return "pl." + digest


def write(folder, name, header, rows):
    with open(os.path.join(folder, name), "w", encoding="utf-8", newline="\n") as out:
        out.write("\t".join(header) + "\n")
        for row in rows:
            out.write("\t".join(str(value) for value in row) + "\n")


def disc_number(album_title):
    match = re.search(r"\(Disc (\d+)\)\s*$", album_title)
    return int(match.group(1)) if match else 1


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    source = sys.argv[1]
    target = os.path.join(os.path.dirname(os.path.abspath(__file__)), "catalog")
    os.makedirs(target, exist_ok=True)

    db = sqlite3.connect(
        "file:" + os.path.join(source, "chinook", "Chinook_Sqlite.sqlite") + "?mode=ro", uri=True
    )

    radio = {}
    with open(
        os.path.join(source, "classic-rock", "classic-rock-song-list.csv"), encoding="utf-8"
    ) as f:
        for row in csv.DictReader(f):
            year = row["Release Year"]
            key = (normalised(row["Song Clean"]), normalised(row["ARTIST CLEAN"]))
            plays = int(row["PlayCount"] or 0)
            radio[key] = (int(year) if year.isdigit() else None, max(plays, radio.get(key, (0, 0))[1]))

    tracks = db.execute(
        """SELECT t.TrackId, t.AlbumId, t.Name, g.Name, m.Name, t.Composer, t.Milliseconds,
                  al.Title, ar.Name
           FROM Track t JOIN Genre g USING (GenreId) JOIN MediaType m USING (MediaTypeId)
                JOIN Album al USING (AlbumId) JOIN Artist ar ON ar.ArtistId = al.ArtistId
           ORDER BY t.TrackId"""
    ).fetchall()
    kept = [t for t in tracks if t[3] not in NON_MUSIC_GENRES]
    kept_ids = {t[0] for t in kept}
    album_ids = {t[1] for t in kept}

    albums = db.execute(
        "SELECT AlbumId, Title, ArtistId FROM Album ORDER BY AlbumId"
    ).fetchall()
    albums = [a for a in albums if a[0] in album_ids]
    artist_ids = {a[2] for a in albums}
    artists = [
        a
        for a in db.execute("SELECT ArtistId, Name FROM Artist ORDER BY ArtistId")
        if a[0] in artist_ids
    ]
    artist_by_name = {name: artist_id for artist_id, name in artists}

    write(
        target,
        "artists.tsv",
        ["id", "name"],
        [(ARTIST_ID_BASE + i, clean(name)) for i, name in artists],
    )
    write(
        target,
        "albums.tsv",
        ["id", "title", "artist_id"],
        [(ALBUM_ID_BASE + i, clean(title), ARTIST_ID_BASE + artist) for i, title, artist in albums],
    )

    numbers = collections.Counter()
    track_rows = []
    for track_id, album, name, genre, media, composer, ms, album_title, artist in kept:
        numbers[album] += 1
        year, plays = radio.get((normalised(name), normalised(artist)), (None, 0))
        track_rows.append(
            (
                TRACK_ID_BASE + track_id,
                ALBUM_ID_BASE + album,
                "music-video" if media in VIDEO_MEDIA else "song",
                clean(name),
                clean(genre),
                clean(composer),
                ms,
                disc_number(album_title),
                numbers[album],
                year if year else "",
                0 if media in PROTECTED_MEDIA else 1,
                plays,
            )
        )
    write(
        target,
        "tracks.tsv",
        ["id", "album_id", "kind", "title", "genre", "composer", "duration_ms", "disc",
         "number", "release_date", "playable", "radio_plays"],
        track_rows,
    )

    purchases = db.execute(
        """SELECT i.CustomerId, il.TrackId, il.Quantity FROM InvoiceLine il
           JOIN Invoice i USING (InvoiceId) ORDER BY i.CustomerId, il.TrackId, il.InvoiceLineId"""
    ).fetchall()
    write(
        target,
        "purchases.tsv",
        ["customer", "track_id"],
        [
            (customer, TRACK_ID_BASE + track)
            for customer, track, quantity in purchases
            if track in kept_ids
            for _ in range(quantity)
        ],
    )

    playlists = [
        p
        for p in db.execute("SELECT PlaylistId, Name FROM Playlist ORDER BY PlaylistId")
        if p[1] not in NON_MUSIC_PLAYLISTS and p[0] not in DUPLICATE_PLAYLISTS
    ]
    write(
        target,
        "playlists.tsv",
        ["id", "name", "curator"],
        [(playlist_id(i), clean(name), CURATORS.get(name, "")) for i, name in playlists],
    )
    entries = []
    for i, _ in playlists:
        for (track,) in db.execute(
            "SELECT TrackId FROM PlaylistTrack WHERE PlaylistId = ? ORDER BY TrackId", (i,)
        ):
            if track in kept_ids:
                entries.append((playlist_id(i), TRACK_ID_BASE + track))
    write(target, "playlist_tracks.tsv", ["playlist_id", "track_id"], entries)

    genres = {t[4] for t in track_rows}
    station_rows = []
    for number, name, live, kind, seed in STATIONS:
        if kind == "genre":
            assert seed in genres, seed
        if kind == "artist":
            seed = ARTIST_ID_BASE + artist_by_name[seed]
        station_rows.append((f"ra.{STATION_ID_BASE + number}", name, int(live), kind, seed))
    write(target, "stations.tsv", ["id", "name", "live", "seed_kind", "seed"], station_rows)


if __name__ == "__main__":
    main()
