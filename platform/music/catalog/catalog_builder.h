// Builds the catalog database from a data set laid out as data/catalog/ (see
// data/README.md). The build runs it through a small tool, so the program finds a
// finished, read-only database next to it and never parses the data set itself;
// benchmarks feed it synthetic data sets the same way.
#pragma once

#include <cstddef>
#include <filesystem>

namespace melodock {

struct CatalogBuildSummary {
  std::size_t artists = 0;
  std::size_t albums = 0;
  std::size_t songs = 0;
  std::size_t musicVideos = 0;
  std::size_t playlists = 0;
  std::size_t stations = 0;
};

// Reads the data set in `dataFolder` and writes the database to `database`, replacing
// it only once the new one is complete. Blocks for as long as that takes: for build
// tools and tests, never for the running program. Throws std::runtime_error (or
// DatabaseError) naming the file and line of bad data.
CatalogBuildSummary buildCatalog(const std::filesystem::path& dataFolder,
                                 const std::filesystem::path& database);

}  // namespace melodock
