// Writes a synthetic catalog data set, in the layout of data/catalog/, of any size:
//
//   melodock-synthetic-catalog VOCABULARY_FOLDER OUT_FOLDER SONGS [SEED]
//
// Words, names and genres are drawn from the built-in data set in VOCABULARY_FOLDER,
// as often as they occur there, so titles and their word frequencies look like a real
// catalog's. The same arguments always give the same bytes.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "bench/catalog/random.h"
#include "platform/music/catalog/detail/tsv_reader.h"

namespace {

using melodock::bench::Random;
using melodock::detail::TsvReader;

// Words as often as they occur in the source.
struct Vocabulary {
  std::vector<std::string> words;
  const std::string& pick(Random& random) const { return words[random.below(words.size())]; }
};

std::string trimmed(std::string_view word) {
  const std::string_view strip = "()[]{}\",.!?:;";
  while (!word.empty() && strip.find(word.front()) != std::string_view::npos) word.remove_prefix(1);
  while (!word.empty() && strip.find(word.back()) != std::string_view::npos) word.remove_suffix(1);
  return std::string(word);
}

void addWords(Vocabulary& vocabulary, std::string_view text) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string_view::npos) end = text.size();
    if (std::string word = trimmed(text.substr(start, end - start)); !word.empty()) {
      vocabulary.words.push_back(std::move(word));
    }
    start = end + 1;
  }
}

std::string phrase(const Vocabulary& vocabulary, Random& random, std::size_t maxWords) {
  // One word a quarter of the time, then fewer as titles get longer.
  static constexpr double kShares[] = {0.25, 0.35, 0.25, 0.15};
  double roll = random.unit();
  std::size_t count = 1;
  while (count < maxWords && roll > kShares[count - 1]) roll -= kShares[count++ - 1];
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    if (i) text += ' ';
    text += vocabulary.pick(random);
  }
  return text;
}

std::string hex32(Random& random) {
  char buffer[33];
  std::snprintf(buffer, sizeof buffer, "%016llx%016llx",
                static_cast<unsigned long long>(random.next()),
                static_cast<unsigned long long>(random.next()));
  return buffer;
}

void run(const std::filesystem::path& source, const std::filesystem::path& out, std::size_t songs,
         std::uint64_t seed) {
  Vocabulary titleWords;
  Vocabulary nameWords;
  Vocabulary composerWords;
  std::vector<std::string> genres;  // as often as songs have them
  {
    TsvReader tracks(source / "tracks.tsv",
                     {"id", "album_id", "kind", "title", "genre", "composer", "duration_ms", "disc",
                      "number", "release_date", "playable", "radio_plays"});
    while (tracks.next()) {
      addWords(titleWords, tracks.text(3));
      if (!tracks.text(4).empty()) genres.emplace_back(tracks.text(4));
      addWords(composerWords, tracks.text(5));
    }
    TsvReader artists(source / "artists.tsv", {"id", "name"});
    while (artists.next()) addWords(nameWords, artists.text(1));
  }
  std::filesystem::create_directories(out);
  Random random(seed);

  const std::size_t artistCount = std::max<std::size_t>(1, songs / 50);
  std::ofstream artists(out / "artists.tsv", std::ios::binary);
  artists << "id\tname\n";
  std::vector<std::string> artistGenre(artistCount);
  for (std::size_t i = 0; i < artistCount; ++i) {
    std::string name = phrase(nameWords, random, 3);
    if (random.chance(0.15)) name.insert(0, "The ");
    artists << 1'300'000'001 + i << '\t' << name << '\n';
    artistGenre[i] = genres[random.below(genres.size())];
  }

  std::ofstream albums(out / "albums.tsv", std::ios::binary);
  albums << "id\ttitle\tartist_id\n";
  std::ofstream tracks(out / "tracks.tsv", std::ios::binary);
  tracks << "id\talbum_id\tkind\ttitle\tgenre\tcomposer\tduration_ms\tdisc\tnumber\t"
            "release_date\tplayable\tradio_plays\n";
  std::size_t track = 0;
  for (std::size_t album = 0; track < songs; ++album) {
    const std::size_t artist = random.skewed(artistCount, 2.0);
    const std::uint64_t albumID = 1'200'000'001 + album;
    albums << albumID << '\t' << phrase(titleWords, random, 3) << '\t' << 1'300'000'001 + artist
           << '\n';
    // Singles, EPs and albums, about ten tracks on average.
    const std::size_t length = random.chance(0.2) ? 1 + random.below(4) : 7 + random.below(10);
    const std::string year =
        random.chance(0.4) ? std::to_string(1955 + random.below(69)) : std::string();
    for (std::size_t number = 1; number <= length && track < songs; ++number, ++track) {
      const bool video = random.chance(0.003);
      const std::string& genre =
          random.chance(0.9) ? artistGenre[artist] : genres[random.below(genres.size())];
      const std::string composer =
          random.chance(0.6) ? composerWords.pick(random) + " " + composerWords.pick(random) : "";
      tracks << 1'100'000'001 + track << '\t' << albumID << '\t' << (video ? "music-video" : "song")
             << '\t' << phrase(titleWords, random, 4) << '\t' << genre << '\t' << composer << '\t'
             << 120'000 + random.below(300'000) << "\t1\t" << number << '\t'
             << (random.chance(0.6) ? year : "") << '\t' << (random.chance(0.93) ? 1 : 0) << '\t'
             << (random.chance(0.05) ? 1 + random.below(140) : 0) << '\n';
    }
  }

  std::ofstream purchases(out / "purchases.tsv", std::ios::binary);
  purchases << "customer\ttrack_id\n";
  const std::size_t customers = std::max<std::size_t>(1, songs / 50);
  for (std::size_t i = 0; i < songs * 7 / 10; ++i) {
    purchases << 1 + random.below(customers) << '\t' << 1'100'000'001 + random.skewed(songs, 3.0)
              << '\n';
  }

  std::ofstream playlists(out / "playlists.tsv", std::ios::binary);
  playlists << "id\tname\tcurator\n";
  std::ofstream entries(out / "playlist_tracks.tsv", std::ios::binary);
  entries << "playlist_id\ttrack_id\n";
  for (std::size_t i = 0; i < std::max<std::size_t>(1, songs / 500); ++i) {
    const std::string id = "pl." + hex32(random);
    playlists << id << '\t' << phrase(titleWords, random, 3) << '\t'
              << (random.chance(0.5) ? phrase(nameWords, random, 2) : "") << '\n';
    const std::size_t length = 20 + random.below(41);
    for (std::size_t j = 0; j < length; ++j) {
      entries << id << '\t' << 1'100'000'001 + random.below(songs) << '\n';
    }
  }

  std::ofstream stations(out / "stations.tsv", std::ios::binary);
  stations << "id\tname\tlive\tseed_kind\tseed\n";
  stations << "ra.1400000001\tSynthetic Radio\t1\tchart\t\n";
  stations << "ra.1400000002\tSynthetic Live\t1\tchart\t\n";
  std::map<std::string, int> distinct;
  for (const std::string& genre : genres) distinct.emplace(genre, 0);
  std::size_t number = 3;
  for (const auto& [genre, unused] : distinct) {
    stations << "ra." << 1'400'000'000 + number++ << '\t' << genre << " Station\t0\tgenre\t"
             << genre << '\n';
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::cerr << "usage: melodock-synthetic-catalog VOCABULARY_FOLDER OUT_FOLDER SONGS [SEED]\n";
    return 2;
  }
  try {
    run(argv[1], argv[2], std::stoull(argv[3]), argc == 5 ? std::stoull(argv[4]) : 1);
  } catch (const std::exception& error) {
    std::cerr << "melodock-synthetic-catalog: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
