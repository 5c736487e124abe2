// Music folders scanned into a real library file: what becomes songs and albums, what
// is skipped and counted, rescans that read only what changed, files that vanish and
// return, and the user's folders.
#include "platform/music/scan/folder_scanner.h"

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>

#include "platform/app_settings.h"
#include "platform/music/scan/music_folders.h"
#include "platform/settings_store.h"
#include "tests/platform/music/catalog_fixture.h"
#include "tests/platform/music/music_files.h"
#include "tests/support/environment.h"

namespace melodock {
namespace {

using namespace std::chrono_literals;
using Time = std::chrono::system_clock::time_point;

void setModified(const std::filesystem::path& path, std::int64_t seconds) {
  const timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

class FolderScannerTest : public ::testing::Test {
 protected:
  ScanCounts scanAll() { return scanner_.scanAll({music()}); }
  std::filesystem::path music() const { return dir_.path() / "Music"; }

  // A tagged song of `format` at `relative` inside the music folder.
  void song(const std::string& relative, const std::string& format, const std::string& title,
            std::map<std::string, std::string> tags = {}) {
    tags["TITLE"] = title;
    tags.emplace("ARTIST", "Artist");
    makeMusicFile(music() / relative, audioFormat(format), tags);
  }

  std::vector<Song> search(const std::string& text) {
    return await(library_.searchSongs(text, 100));
  }

  testing::TempDir dir_;
  Time now_ = Time(std::chrono::hours(24 * 365 * 55));
  Library library_{dir_.path() / "library.sqlite", [this] { return now_; }};
  TagReader reader_{dir_.path() / "artwork"};
  std::vector<std::string> problems_;
  FolderScanner scanner_{
      library_, reader_, {.batchSize = 3, .problem = [this](const std::string& problem) {
                            problems_.push_back(problem);
                          }}};
};

// Each format's tags are TagReader's to read; here, what the scan makes of the files.
TEST_F(FolderScannerTest, MakesSongsAndAlbumsAndSkipsWhatItCannotRead) {
  song("Album/1.wav", "WAV", "WAV Song", {{"ALBUM", "Formats"}, {"TRACKNUMBER", "1"}});
  song("Album/2.opus", "Opus", "Opus Song", {{"ALBUM", "Formats"}, {"TRACKNUMBER", "2"}});
  // A compilation: songs by different artists, one album.
  std::map<std::string, std::string> hits = {
      {"ALBUM", "Hits"}, {"ALBUMARTIST", "Various Artists"}, {"COMPILATION", "1"}};
  hits["ARTIST"] = "Ann";
  hits["TRACKNUMBER"] = "1/2";
  song("Comp/1.mp3", "MP3", "First Hit", hits);
  hits["ARTIST"] = "Bob";
  hits["TRACKNUMBER"] = "2/2";
  song("Comp/2.flac", "FLAC", "Second Hit", hits);
  makeMusicFile(music() / "Loose" / "untagged take.ogg", audioFormat("Ogg Vorbis"));
  testing::writeFile(music() / "Loose" / "junk.mp3", std::string(3000, 'j'));
  testing::writeFile(music() / "Loose" / "empty.flac", "");
  testing::writeFile(music() / "Loose" / "notes.txt", "not music, not counted");
  makeMusicFile(music() / "Loose" / "caf\xE9.mp3", audioFormat("MP3"));  // Latin-1 name
  std::filesystem::create_directory_symlink(music(), music() / "Loose" / "loop");
  std::filesystem::create_symlink(music() / "nowhere.mp3", music() / "Loose" / "dangling.mp3");

  const ScanCounts counts = scanAll();
  EXPECT_EQ(counts,
            (ScanCounts{.read = 5, .junk = 1, .empty = 1, .badNames = 1, .loops = 1, .gone = 1}));
  EXPECT_TRUE(problems_.empty());

  const std::vector<Song> all = search("");
  ASSERT_EQ(all.size(), 5U);
  for (const Song& found : all) {
    SCOPED_TRACE(found.title);
    EXPECT_TRUE(found.id.starts_with("i."));
    ASSERT_TRUE(found.file);
    EXPECT_TRUE(std::filesystem::exists(*found.file));
    EXPECT_EQ(found.playParameters, (PlayParameters{found.id, "song"}));
  }
  EXPECT_EQ(titles(search("untagged")), Strings{"untagged take"});

  const std::vector<Album> albums = await(library_.searchAlbums("", 10));
  ASSERT_EQ(albums.size(), 2U);
  EXPECT_EQ(albums[0].title, "Formats");
  EXPECT_EQ(albums[0].trackCount, 2);
  EXPECT_TRUE(albums[0].id.starts_with("l."));
  EXPECT_EQ(albums[1].title, "Hits");
  EXPECT_EQ(albums[1].artistName, "Various Artists");
  EXPECT_EQ(titles(await(library_.albumSongs(albums[1].id))), (Strings{"First Hit", "Second Hit"}));
  EXPECT_EQ(titles(await(library_.albumSongs(albums[0].id))), (Strings{"WAV Song", "Opus Song"}));
  EXPECT_EQ(names(await(library_.searchArtists("", 10))),
            (Strings{"Ann", "Artist", "Bob", "Unknown Artist", "Various Artists"}));
}

TEST_F(FolderScannerTest, ReadsAgainOnlyWhatChangedAndKeepsIds) {
  song("a.mp3", "MP3", "Alpha");
  song("b.flac", "FLAC", "Beta");
  song("c.ogg", "Ogg Vorbis", "Gamma");
  EXPECT_EQ(scanAll(), (ScanCounts{.read = 3}));
  const std::vector<Song> before = search("");

  EXPECT_EQ(scanAll(), (ScanCounts{.unchanged = 3}));
  // Tags written anew change the size and the time; a touch changes the time only.
  song("b.flac", "FLAC", "Beta Remastered");
  setModified(music() / "c.ogg", 1000);
  EXPECT_EQ(scanAll(), (ScanCounts{.read = 2, .unchanged = 1}));
  const std::vector<Song> after = search("");
  EXPECT_EQ(titles(after), (Strings{"Alpha", "Beta Remastered", "Gamma"}));
  EXPECT_EQ(ids(after), ids(before));
  EXPECT_TRUE(search("beta remastered").size() == 1);
  EXPECT_TRUE(search("beta").size() == 1);

  // A file looked at on its own, as a change notice asks.
  setModified(music() / "a.mp3", 2000);
  EXPECT_EQ(scanner_.scanPaths({music() / "a.mp3", dir_.path() / "elsewhere.mp3"}, {music()}),
            (ScanCounts{.read = 1}));
}

TEST_F(FolderScannerTest, VanishedFilesLeaveTheLibraryButNotPlaylistsOrHistoryAndComeBack) {
  song("Road/a.mp3", "MP3", "Alpha", {{"ALBUM", "Road"}});
  song("Road/b.mp3", "MP3", "Beta", {{"ALBUM", "Road"}});
  scanAll();
  const std::vector<Song> songs = search("");
  const std::string albumID = await(library_.searchAlbums("road", 1)).front().id;
  const LibraryPlaylist list = await(library_.createPlaylist("Mix", std::nullopt, songs));
  await(library_.recordPlay(songs[0], std::nullopt));

  std::filesystem::create_directory(dir_.path() / "aside");
  std::filesystem::rename(music() / "Road" / "a.mp3", dir_.path() / "aside" / "a.mp3");
  EXPECT_EQ(scanAll(), (ScanCounts{.unchanged = 1, .vanished = 1}));
  EXPECT_EQ(titles(search("")), Strings{"Beta"});
  EXPECT_TRUE(await(library_.songs({songs[0].id})).empty());
  EXPECT_EQ(titles(await(library_.albumSongs(albumID))), Strings{"Beta"});
  EXPECT_EQ(await(library_.album(albumID))->trackCount, 1);
  // Still listed where the user put it or played it, without play parameters.
  const std::vector<Song> listed = await(library_.playlistSongs(list.playlist.id));
  ASSERT_EQ(ids(listed), ids(songs));
  EXPECT_FALSE(listed[0].playParameters);
  EXPECT_TRUE(listed[1].playParameters);
  const std::vector<Song> played = await(library_.recentlyPlayed(10));
  ASSERT_EQ(ids(played), Strings{songs[0].id});
  EXPECT_FALSE(played[0].playParameters);

  // Everything gone: the album leaves too.
  std::filesystem::rename(music() / "Road" / "b.mp3", dir_.path() / "aside" / "b.mp3");
  EXPECT_EQ(scanner_.scanPaths({music() / "Road"}, {music()}), (ScanCounts{.vanished = 1}));
  EXPECT_FALSE(await(library_.album(albumID)));
  EXPECT_TRUE(await(library_.searchAlbums("", 10)).empty());

  // Back unchanged: the same songs, not read again.
  std::filesystem::rename(dir_.path() / "aside" / "a.mp3", music() / "Road" / "a.mp3");
  std::filesystem::rename(dir_.path() / "aside" / "b.mp3", music() / "Road" / "b.mp3");
  EXPECT_EQ(scanAll(), (ScanCounts{.returned = 2}));
  EXPECT_EQ(ids(search("")), ids(songs));
  EXPECT_EQ(await(library_.album(albumID))->trackCount, 2);
  EXPECT_TRUE(await(library_.playlistSongs(list.playlist.id))[0].playParameters);
  EXPECT_TRUE(await(library_.recentlyPlayed(10))[0].playParameters);
}

// Files' songs are listed as their album, songs on none (and saved catalog songs) as
// songs; what vanished is left out.
TEST_F(FolderScannerTest, RecentlyAddedFollowsWhenFilesFirstAppearedAndLeavesOutWhatVanished) {
  auto added = [&] {
    std::vector<std::string> listed;
    for (const AddedItem& item : await(library_.recentlyAdded(10))) {
      if (const auto* album = std::get_if<Album>(&item)) listed.push_back("album " + album->title);
      if (const auto* found = std::get_if<Song>(&item)) listed.push_back("song " + found->title);
    }
    return listed;
  };
  song("One/a.mp3", "MP3", "Alpha", {{"ALBUM", "One"}, {"ALBUMARTIST", "Various Artists"}});
  scanAll();
  now_ += 1h;
  song("Two/b.mp3", "MP3", "Beta", {{"ALBUM", "Two"}});
  setModified(music() / "One" / "a.mp3", 5000);  // changed, but not new
  EXPECT_EQ(scanAll(), (ScanCounts{.read = 2}));
  now_ += 1h;
  song("loose.mp3", "MP3", "Gamma");
  EXPECT_EQ(scanAll(), (ScanCounts{.read = 1, .unchanged = 2}));
  EXPECT_EQ(added(), (Strings{"song Gamma", "album Two", "album One"}));
  now_ += 1h;
  await(library_.addSongs({Song{.id = "1100000001",
                                .title = "Catalog",
                                .artistName = "Band",
                                .playParameters = PlayParameters{"1100000001", "song"}}}));
  std::filesystem::remove(music() / "Two" / "b.mp3");
  std::filesystem::remove(music() / "loose.mp3");
  EXPECT_EQ(scanAll(), (ScanCounts{.unchanged = 1, .vanished = 2}));
  EXPECT_EQ(added(), (Strings{"song Catalog", "album One"}));
}

TEST_F(FolderScannerTest, MakesOneAlbumOfAFoldersFilesWithOneAlbumTitle) {
  struct File {
    const char* name;
    const char* artist;
    const char* albumArtist;  // empty for none
  };
  struct Row {
    const char* album;  // also its folder's name
    std::vector<File> files;
    const char* albumArtist;
  };
  // More files than a batch holds (3), so that an album's files are stored apart.
  const std::vector<Row> rows = {
      {"Gladiator",
       {{"1.mp3", "Hans Zimmer", "Hans Zimmer"},
        {"2.flac", "Lisa Gerrard", ""},
        {"3.mp3", "Hans Zimmer", "Hans Zimmer"},
        {"4.mp3", "Klaus Badelt", ""},
        {"5.flac", "Hans Zimmer & Lisa Gerrard", "Hans Zimmer"}},
       "Hans Zimmer"},
      {"Mixtape",
       {{"1.mp3", "Ann", ""}, {"2.mp3", "Bob", ""}, {"3.mp3", "Ann", ""}, {"4.mp3", "Cy", ""}},
       "Various Artists"},
      {"Solo", {{"1.mp3", "Ann", ""}, {"2.flac", "Ann", ""}}, "Ann"},
  };
  for (const Row& row : rows) {
    for (const File& file : row.files) {
      std::map<std::string, std::string> tags = {{"ALBUM", row.album}, {"ARTIST", file.artist}};
      if (*file.albumArtist != '\0') tags["ALBUMARTIST"] = file.albumArtist;
      const std::string name = file.name;
      song(std::string(row.album) + "/" + name, name.ends_with(".mp3") ? "MP3" : "FLAC",
           row.album + std::string(" ") + name, tags);
    }
  }
  scanAll();
  // A file read again on its own keeps its album and the album its artist.
  setModified(music() / "Gladiator" / "2.flac", 3000);
  EXPECT_EQ(scanner_.scanPaths({music() / "Gladiator" / "2.flac"}, {music()}),
            (ScanCounts{.read = 1}));

  const std::vector<Album> albums = await(library_.searchAlbums("", 10));
  ASSERT_EQ(albums.size(), rows.size());
  for (std::size_t at = 0; at < rows.size(); ++at) {
    SCOPED_TRACE(rows[at].album);
    EXPECT_EQ(albums[at].title, rows[at].album);
    EXPECT_EQ(albums[at].artistName, rows[at].albumArtist);
    EXPECT_EQ(albums[at].trackCount, static_cast<int>(rows[at].files.size()));
    EXPECT_EQ(await(library_.albumSongs(albums[at].id)).size(), rows[at].files.size());
  }

  // The same title in another folder is another album.
  song("Elsewhere/1.mp3", "MP3", "Elsewhere", {{"ALBUM", "Solo"}, {"ARTIST", "Ann"}});
  scanAll();
  EXPECT_EQ(await(library_.searchAlbums("solo", 10)).size(), 2U);
}

// Makes this thread (where the scanner runs) subject to file permissions, even as root.
class WithoutPermissionOverride {
 public:
  WithoutPermissionOverride() {
    ::syscall(SYS_capget, &header_, saved_.data());
    std::array<__user_cap_data_struct, 2> reduced = saved_;
    reduced[0].effective &= ~((1U << CAP_DAC_OVERRIDE) | (1U << CAP_DAC_READ_SEARCH));
    ::syscall(SYS_capset, &header_, reduced.data());
  }
  ~WithoutPermissionOverride() { ::syscall(SYS_capset, &header_, saved_.data()); }
  WithoutPermissionOverride(const WithoutPermissionOverride&) = delete;
  WithoutPermissionOverride& operator=(const WithoutPermissionOverride&) = delete;

 private:
  __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
  std::array<__user_cap_data_struct, 2> saved_{};
};

TEST_F(FolderScannerTest, SkipsAMissingFolderSilentlyAndReportsAnUnreadableOneOnce) {
  const WithoutPermissionOverride permissions;
  song("a.mp3", "MP3", "Alpha");
  const std::filesystem::path locked = dir_.path() / "Locked";
  std::filesystem::create_directory(locked);
  ::chmod(locked.c_str(), 0);
  const std::vector<std::filesystem::path> folders = {dir_.path() / "Missing", locked, music()};
  EXPECT_EQ(scanner_.scanAll(folders), (ScanCounts{.read = 1}));
  EXPECT_EQ(scanner_.scanAll(folders), (ScanCounts{.unchanged = 1}));
  ::chmod(locked.c_str(), 0700);
  ASSERT_EQ(problems_.size(), 1U);
  EXPECT_EQ(problems_[0], "Can't read the music folder " + locked.string() + ": Permission denied");
}

TEST(MusicFolders, AreTheUsersMusicFolderAndTheStoredOnes) {
  testing::TempDir dir;
  const std::filesystem::path home = dir.path() / "home";
  const std::filesystem::path config = dir.path() / "config";
  testing::writeFile(config / "user-dirs.dirs",
                     "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                     "XDG_MUSIC_DIR=\"$HOME/Musik\"\n");
  struct Row {
    const char* name;
    const char* musicDir;  // $XDG_MUSIC_DIR, or none
    bool userDirs;
    nlohmann::json stored;
    std::vector<std::filesystem::path> folders;
  };
  const std::vector<Row> rows = {
      {"nothing stored", nullptr, false, nullptr, {home / "Music"}},
      {"user-dirs.dirs", nullptr, true, nullptr, {home / "Musik"}},
      {"the variable first", "/srv/music", true, nullptr, {"/srv/music"}},
      {"stored folders",
       nullptr,
       false,
       {"/mnt/nas/", "~/More", "relative", 7, "/mnt/nas", "/mnt/nas/inside", "/"},
       {"/"}},
      {"stored folders, no root",
       nullptr,
       false,
       {"/mnt/nas/", "~/More", "relative", 7, "/mnt/nas/inside"},
       {home / "Music", "/mnt/nas", home / "More"}},
      {"not an array", nullptr, false, "/mnt/nas", {home / "Music"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const testing::ScopedVariable homeVariable("HOME", home.c_str());
    const testing::ScopedVariable configVariable(
        "XDG_CONFIG_HOME", (row.userDirs ? config : dir.path() / "none").c_str());
    const testing::ScopedVariable musicVariable("XDG_MUSIC_DIR", row.musicDir);
    SettingsStore settings(dir.path() / (std::string(row.name) + ".json"));
    if (!row.stored.is_null()) settings.set(setting::kMusicFolders.name, row.stored);
    EXPECT_EQ(musicFolders(AppSettings(settings)), row.folders);
  }
}

}  // namespace
}  // namespace melodock
