// The build's catalog tool: melodock-build-catalog DATA_FOLDER DATABASE
#include <exception>
#include <iostream>

#include "platform/music/catalog/catalog_builder.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: melodock-build-catalog DATA_FOLDER DATABASE\n";
    return 2;
  }
  try {
    const melodock::CatalogBuildSummary built = melodock::buildCatalog(argv[1], argv[2]);
    std::cout << argv[2] << ": " << built.songs << " songs, " << built.musicVideos
              << " music videos, " << built.albums << " albums, " << built.artists << " artists, "
              << built.playlists << " playlists, " << built.stations << " stations\n";
  } catch (const std::exception& error) {
    std::cerr << "melodock-build-catalog: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
