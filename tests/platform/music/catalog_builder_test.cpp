// Building the catalog database from a data set: what bad data gives, and that a
// failed build leaves the database it would have replaced.
#include <gtest/gtest.h>

#include "platform/music/catalog/catalog_builder.h"
#include "platform/music/catalog/local_catalog.h"
#include "tests/platform/music/catalog_fixture.h"
#include "tests/support/loopback.h"

namespace melodock {
namespace {

DataSet oneSong() {
  DataSet data;
  data.artists = {"1300000001\tAlpha Band"};
  data.albums = {"1200000001\tLove Songs\t1300000001"};
  data.tracks = {"1100000001\t1200000001\tsong\tLove\tRock\t\t200000\t1\t1\t1980\t1\t0"};
  data.stations = {"ra.1400000001\tRock Station\t0\tgenre\tRock"};
  return data;
}

TEST(CatalogBuilder, NamesTheFileAndLineOfBadData) {
  struct Row {
    const char* name;
    std::vector<std::string> DataSet::*lines;  // its first line becomes `line`
    std::string line;
    const char* file;  // else written whole as `contents`
    const char* contents;
    std::string error;
  };
  const std::vector<Row> rows = {
      {"field missing", &DataSet::tracks,
       "1100000001\t1200000001\tsong\tLove\tRock\t\t200000\t1\t1\t1", nullptr, nullptr,
       "tracks.tsv line 2: 10 fields instead of 12"},
      {"not a number", &DataSet::artists, "x\tAlpha Band", nullptr, nullptr,
       "artists.tsv line 2: field 1 is not a number"},
      {"no such album", &DataSet::albums, "1200000002\tLove Songs\t1300000001", nullptr, nullptr,
       "tracks.tsv: track 1100000001 has no album"},
      {"unknown kind", &DataSet::tracks,
       "1100000001\t1200000001\tpodcast\tLove\tRock\t\t200000\t1\t1\t\t1\t0", nullptr, nullptr,
       "tracks.tsv: track 1100000001 has kind podcast"},
      {"another header", nullptr, "", "albums.tsv", "id\ttitle\tartist\n",
       "albums.tsv line 1: column 3 is not artist_id"},
      {"no header", nullptr, "", "playlists.tsv", "", "playlists.tsv: empty"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testing::TempDir dir;
    DataSet data = oneSong();
    if (row.lines != nullptr) (data.*row.lines)[0] = row.line;
    data.write(dir.path() / "data");
    if (row.file != nullptr) std::ofstream(dir.path() / "data" / row.file) << row.contents;
    EXPECT_EQ(errorText([&] { buildCatalog(dir.path() / "data", dir.path() / "catalog.sqlite"); }),
              row.error);
  }
}

TEST(CatalogBuilder, AFailedBuildKeepsTheDatabaseItWouldHaveReplaced) {
  testing::TempDir dir;
  oneSong().write(dir.path() / "good");
  const CatalogBuildSummary built =
      buildCatalog(dir.path() / "good", dir.path() / "catalog.sqlite");
  EXPECT_EQ(built.songs, 1U);
  EXPECT_EQ(built.stations, 1U);
  DataSet bad = oneSong();
  bad.tracks.push_back("1100000002\t1200000009\tsong\tLost\tRock\t\t1\t1\t1\t\t1\t0");
  bad.write(dir.path() / "bad");
  EXPECT_THROW(buildCatalog(dir.path() / "bad", dir.path() / "catalog.sqlite"), std::runtime_error);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "catalog.sqlite.partial"));
  LocalCatalog catalog(dir.path() / "catalog.sqlite");
  const std::vector<Song> songs = await(catalog.songs({"1100000001"}));
  ASSERT_EQ(songs.size(), 1U);
  EXPECT_EQ(songs[0].title, "Love");
}

}  // namespace
}  // namespace melodock
