// A catalog that answers what a test put in it and notes what it was asked, for the
// service's own rules (limits, caps, missing items) that the built-in catalog's data
// cannot show.
#pragma once

#include <string>
#include <vector>

#include "platform/music/catalog/catalog.h"

namespace melodock::testing {

class ScriptedCatalog final : public Catalog {
 public:
  asio::awaitable<CatalogSearchResults> search(std::string term, int limit) override {
    asked.push_back("search " + term + " " + std::to_string(limit));
    co_return found;
  }
  asio::awaitable<std::vector<Song>> songs(std::vector<std::string>) override {
    co_return std::vector<Song>{};
  }
  asio::awaitable<std::vector<Album>> albums(std::vector<std::string> ids) override {
    asked.push_back("albums " + ids.front());
    co_return albumAnswer;
  }
  asio::awaitable<std::vector<Artist>> artists(std::vector<std::string> ids) override {
    asked.push_back("artists " + ids.front());
    co_return artistAnswer;
  }
  asio::awaitable<std::vector<Playlist>> playlists(std::vector<std::string>) override {
    co_return std::vector<Playlist>{};
  }
  asio::awaitable<std::vector<Station>> stations(std::vector<std::string>) override {
    co_return std::vector<Station>{};
  }
  asio::awaitable<std::vector<SongChart>> mostPlayedSongs(int limit) override {
    asked.push_back("chart " + std::to_string(limit));
    co_return chartAnswer;
  }
  asio::awaitable<std::vector<std::string>> genres(int /*limit*/) override {
    co_return std::vector<std::string>{};
  }
  asio::awaitable<GenreItems> genreItems(std::string /*genre*/, int /*limit*/) override {
    co_return GenreItems{};
  }
  asio::awaitable<std::vector<Track>> albumTracks(std::string albumID) override {
    asked.push_back("tracks " + albumID);
    co_return tracksAnswer;
  }
  asio::awaitable<std::vector<Track>> playlistTracks(std::string) override {
    co_return std::vector<Track>{};
  }
  asio::awaitable<ArtistRelationships> artistRelationships(std::string artistID) override {
    asked.push_back("relationships " + artistID);
    co_return relationshipsAnswer;
  }
  asio::awaitable<std::vector<Song>> stationSongs(std::string) override {
    co_return std::vector<Song>{};
  }

  // Written before a call, read after it; the calls run on the main actor.
  CatalogSearchResults found;
  std::vector<Album> albumAnswer;
  std::vector<Artist> artistAnswer;
  std::vector<SongChart> chartAnswer;
  std::vector<Track> tracksAnswer;
  ArtistRelationships relationshipsAnswer;
  std::vector<std::string> asked;
};

}  // namespace melodock::testing
