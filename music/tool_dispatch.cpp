#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "music/detail/result_text.h"
#include "music/detail/tool_arguments.h"
#include "music/music_operations.h"
#include "music/tool_error.h"
#include "music/tools.h"

namespace melodock {
namespace {

using detail::ToolArguments;
using Result = asio::awaitable<std::string>;

constexpr std::string_view kUnknownTool = "Unknown tool ";

Result nowPlayingText(MusicOperations& service) {
  co_return detail::resultText(co_await service.nowPlayingDict());
}

Result noteThenNowPlaying(MusicOperations& service, std::optional<std::string> text) {
  co_await service.applyNote(std::move(text));
  co_return detail::resultText(co_await service.nowPlayingDict());
}

// A route reads its arguments before it starts the operation, one statement per read
// where the order decides which "Missing" message wins. The operation's awaitable holds
// its own copies, so `args` may go once the route returns.
struct Route {
  std::string_view name;
  Result (*run)(MusicOperations& service, const ToolArguments& args);
};

constexpr Route kRoutes[] = {
    {"now_playing", [](MusicOperations& s, const ToolArguments&) { return nowPlayingText(s); }},
    {"playback", [](MusicOperations& s,
                    const ToolArguments& args) { return s.playback(args.string("action")); }},
    {"seek",
     [](MusicOperations& s, const ToolArguments& args) { return s.seek(args.number("seconds")); }},
    {"set_modes",
     [](MusicOperations& s, const ToolArguments& args) {
       auto shuffle = args.optionalBool("shuffle");
       auto repeat = args.optionalString("repeat");
       return s.setModes(shuffle, std::move(repeat));
     }},
    {"play_songs",
     [](MusicOperations& s, const ToolArguments& args) {
       auto ids = args.stringArray("ids");
       auto mode = args.optionalString("mode").value_or("replace");
       auto note = args.optionalString("note");
       return s.playSongs(std::move(ids), std::move(mode), std::move(note));
     }},
    {"play_collection",
     [](MusicOperations& s, const ToolArguments& args) {
       auto type = args.string("type");
       auto id = args.string("id");
       const bool shuffle = args.optionalBool("shuffle").value_or(false);
       auto note = args.optionalString("note");
       return s.playCollection(std::move(type), std::move(id), shuffle, std::move(note));
     }},
    {"set_note",
     [](MusicOperations& s, const ToolArguments& args) {
       return noteThenNowPlaying(s, args.optionalString("text"));
     }},
    {"get_queue", [](MusicOperations& s, const ToolArguments&) { return s.queue(); }},
    {"search_catalog",
     [](MusicOperations& s, const ToolArguments& args) {
       auto query = args.string("query");
       const auto limit = args.integer("limit", 10);
       return s.searchCatalog(std::move(query), limit);
     }},
    {"artist_info",
     [](MusicOperations& s, const ToolArguments& args) {
       return s.artistInfo(args.string("artist_id"));
     }},
    {"album_songs",
     [](MusicOperations& s, const ToolArguments& args) {
       return s.albumSongs(args.string("album_id"));
     }},
    {"charts", [](MusicOperations& s,
                  const ToolArguments& args) { return s.charts(args.integer("limit", 25)); }},
    {"search_library",
     [](MusicOperations& s, const ToolArguments& args) {
       if (args.optionalBool("recently_added") == true) {
         return s.recentlyAdded(args.integer("limit", 25));
       }
       auto query = args.optionalString("query").value_or("");
       auto type = args.optionalString("type").value_or("songs");
       const auto limit = args.integer("limit", 25);
       return s.searchLibrary(std::move(query), std::move(type), limit);
     }},
    {"library_playlists",
     [](MusicOperations& s, const ToolArguments&) { return s.libraryPlaylists(); }},
    {"playlist_songs",
     [](MusicOperations& s, const ToolArguments& args) {
       return s.playlistSongs(args.string("playlist_id"));
     }},
    {"create_playlist",
     [](MusicOperations& s, const ToolArguments& args) {
       auto name = args.string("name");
       auto description = args.optionalString("description");
       auto ids = args.stringArray("ids");
       return s.createPlaylist(std::move(name), std::move(description), std::move(ids));
     }},
    {"add_to_playlist",
     [](MusicOperations& s, const ToolArguments& args) {
       auto playlistID = args.string("playlist_id");
       auto ids = args.stringArray("ids");
       return s.addToPlaylist(std::move(playlistID), std::move(ids));
     }},
    {"add_to_library",
     [](MusicOperations& s, const ToolArguments& args) {
       auto type = args.string("type");
       auto ids = args.stringArray("ids");
       return s.addToLibrary(std::move(type), std::move(ids));
     }},
    {"rate",
     [](MusicOperations& s, const ToolArguments& args) {
       auto id = args.string("id");
       auto kind = args.string("kind");
       auto rating = args.string("rating");
       return s.rate(std::move(id), std::move(kind), std::move(rating));
     }},
    {"listening_history",
     [](MusicOperations& s, const ToolArguments&) { return s.listeningHistory(); }},
};

// Runs on the main actor; `service` belongs to it. Catches here, next to the failure,
// so the outcome travels back as a value.
asio::awaitable<Tools::Outcome> dispatch(MusicOperations& service, std::string name,
                                         mcp::Value::Object arguments) {
  const Route* route = nullptr;
  for (const Route& candidate : kRoutes) {
    if (candidate.name == name) {
      route = &candidate;
      break;
    }
  }
  Tools::Outcome outcome;
  if (!route) {
    outcome.text = std::string(kUnknownTool) + name;
    outcome.failure = std::make_exception_ptr(ToolError(outcome.text));
    co_return outcome;
  }
  try {
    outcome.text = co_await route->run(service, ToolArguments(arguments));
  } catch (const std::exception& error) {
    outcome.failure = std::current_exception();
    outcome.text = error.what();
  }
  co_return outcome;
}

}  // namespace

asio::awaitable<Tools::Outcome> Tools::run(std::string name, mcp::Value::Object arguments) const {
  auto work = [this, name = std::move(name), arguments = std::move(arguments)]() mutable {
    return dispatch(service_, std::move(name), std::move(arguments));
  };
  co_return co_await main_.run(std::move(work));
}

}  // namespace melodock
