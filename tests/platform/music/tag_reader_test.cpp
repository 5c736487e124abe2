// The tags of real audio files in every format read, made at test time.
#include "platform/music/scan/tag_reader.h"

#include <gtest/gtest.h>

#include "tests/platform/music/music_files.h"

namespace melodock {
namespace {

using namespace std::chrono_literals;

const std::map<std::string, std::string> kFullTags = {
    {"TITLE", "Señor Blues"}, {"ARTIST", "Horace Silver"}, {"ALBUMARTIST", "The Quintet"},
    {"ALBUM", "Six Pieces"},  {"GENRE", "Jazz"},           {"DATE", "1956-11-10"},
    {"TRACKNUMBER", "3/12"},  {"DISCNUMBER", "1/2"},       {"COMPILATION", "1"},
};

TEST(TagReader, ReadsEveryFormatsTags) {
  testing::TempDir dir;
  TagReader reader(dir.path() / "artwork");
  for (const AudioFormat& format : audioFormats()) {
    SCOPED_TRACE(format.name);
    const std::filesystem::path file = dir.path() / (std::string("song") + format.extension);
    makeMusicFile(file, format, kFullTags);
    const std::optional<MusicFileTags> tags = reader.read(file, std::nullopt);
    ASSERT_TRUE(tags);
    EXPECT_EQ(tags->song.id, "");
    EXPECT_EQ(tags->song.title, "Señor Blues");
    EXPECT_EQ(tags->song.artistName, "Horace Silver");
    EXPECT_EQ(tags->albumArtist, "The Quintet");
    EXPECT_EQ(tags->song.albumTitle, "Six Pieces");
    EXPECT_EQ(tags->song.genreNames, std::vector<std::string>{"Jazz"});
    // Every format keeps at least the year.
    ASSERT_TRUE(tags->song.releaseDate);
    EXPECT_EQ(yearOf(*tags->song.releaseDate), 1956);
    EXPECT_EQ(tags->song.trackNumber, 3);
    EXPECT_EQ(tags->trackCount, 12);
    EXPECT_EQ(tags->song.discNumber, 1);
    EXPECT_EQ(tags->discCount, 2);
    EXPECT_TRUE(tags->compilation);
    ASSERT_TRUE(tags->song.duration);
    EXPECT_GT(*tags->song.duration, 400ms);
    EXPECT_LT(*tags->song.duration, 700ms);
    EXPECT_FALSE(tags->song.artwork);
  }
}

TEST(TagReader, FallsBackWhereTagsAreMissingAndRefusesJunk) {
  testing::TempDir dir;
  TagReader reader(dir.path() / "artwork");
  using Tags = std::map<std::string, std::string>;
  const Tags nina = {{"ARTIST", "Nina Simone"}};
  Tags compilation = nina;
  compilation["COMPILATION"] = "1";
  struct Row {
    const char* name;
    Tags tags;
    std::string artist;
    std::optional<std::string> albumArtist;
    bool compilation;
  };
  // The title is the file's name.
  const std::vector<Row> rows = {
      {"untagged", {}, TagReader::kUnknownArtist, std::nullopt, false},
      {"artist only", nina, "Nina Simone", std::nullopt, false},
      {"compilation without album artist", compilation, "Nina Simone", "Various Artists", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::filesystem::path file = dir.path() / row.name / "01 Untitled Take.mp3";
    makeMusicFile(file, audioFormat("MP3"), row.tags);
    const auto tags = reader.read(file, std::nullopt);
    ASSERT_TRUE(tags);
    EXPECT_EQ(tags->song.title, "01 Untitled Take");
    EXPECT_EQ(tags->song.artistName, row.artist);
    EXPECT_EQ(tags->albumArtist, row.albumArtist);
    EXPECT_EQ(tags->compilation, row.compilation);
    EXPECT_FALSE(tags->song.albumTitle);
    EXPECT_FALSE(tags->song.trackNumber);
    EXPECT_FALSE(tags->song.releaseDate);
  }
  // A junk MP3 is the scan's: counted as junk.
  testing::writeFile(dir.path() / "junk.flac", "not a flac file at all");
  EXPECT_FALSE(reader.read(dir.path() / "junk.flac", std::nullopt));
  EXPECT_FALSE(reader.read(dir.path() / "missing.ogg", std::nullopt));
}

TEST(TagReader, KeepsAnEmbeddedPictureOnceElseTakesTheCoverBesideTheFile) {
  testing::TempDir dir;
  const std::filesystem::path artwork = dir.path() / "cache" / "melodock" / "artwork";
  TagReader reader(artwork);
  const std::string picture = pictureBytes('a');
  for (const char* name : {"a.mp3", "b.mp3", "c.flac"}) {
    const std::filesystem::path file = dir.path() / "album" / name;
    makeMusicFile(file, audioFormat(file.extension() == ".mp3" ? "MP3" : "FLAC"),
                  {{"TITLE", name}});
    embedPicture(file, picture);
  }
  const std::filesystem::path beside = dir.path() / "album" / "cover.jpg";
  std::vector<std::string> urls;
  for (const char* name : {"a.mp3", "b.mp3", "c.flac"}) {
    SCOPED_TRACE(name);
    const auto tags = reader.read(dir.path() / "album" / name, beside);
    ASSERT_TRUE(tags && tags->song.artwork);
    urls.push_back(tags->song.artwork->urlTemplate);
  }
  // One picture, one file, named after its bytes, in the artwork folder.
  EXPECT_EQ(urls[0], urls[1]);
  EXPECT_EQ(urls[0], urls[2]);
  ASSERT_TRUE(urls[0].starts_with("file://" + artwork.string() + "/"));
  ASSERT_TRUE(urls[0].ends_with(".png"));
  EXPECT_EQ(testing::readFile(urls[0].substr(7)), picture);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(artwork), {}), 1);

  makeMusicFile(dir.path() / "plain" / "d e.ogg", audioFormat("Ogg Vorbis"), {{"TITLE", "D"}});
  const auto plain =
      reader.read(dir.path() / "plain" / "d e.ogg", dir.path() / "plain" / "Cover Art.jpg");
  ASSERT_TRUE(plain && plain->song.artwork);
  EXPECT_EQ(plain->song.artwork->urlTemplate,
            "file://" + (dir.path() / "plain").string() + "/Cover%20Art.jpg");
  EXPECT_FALSE(reader.read(dir.path() / "plain" / "d e.ogg", std::nullopt)->song.artwork);
}

TEST(TagReader, KnowsTheFormatsByName) {
  for (const char* name : {"a.flac", "B.MP3", "c.ogg", "d.opus", "e.m4a", "f.wav", "g.oga"}) {
    EXPECT_TRUE(TagReader::isMusicFile(name)) << name;
  }
  for (const char* name : {"cover.jpg", "notes.txt", "flac", ".mp3", "a.mp3.part"}) {
    EXPECT_FALSE(TagReader::isMusicFile(name)) << name;
  }
}

}  // namespace
}  // namespace melodock
