// The web API served in process from the user's library: the same paths, JSON shapes,
// paging and error answers as the music service expects from a remote account, with no
// network and no credentials. Used when no remote base URL is configured.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/music/catalog/catalog.h"
#include "platform/music/library/library.h"
#include "platform/music/web_api/web_api_client.h"
#include "platform/music/web_api/web_api_url.h"

namespace melodock {

class InProcessWebAPI final : public WebAPIClient {
 public:
  // Reserved for documentation (RFC 2606): never a real host.
  static constexpr const char* kBaseURL = "https://library.melodock.invalid";
  // List endpoints serve 25 items a page unless asked for another `limit`, at most 100.
  static constexpr int kDefaultPage = 25;
  static constexpr int kLargestPage = 100;

  // A request as the web API read it, percent-decoded.
  struct Served {
    std::string method{};
    std::string path{};
    QueryItems query{};
    std::optional<std::string> body{};
  };

  // `library` and `catalog` must outlive this object.
  InProcessWebAPI(Library& library, Catalog& catalog);

  [[nodiscard]] std::string baseURL() const override { return kBaseURL; }
  // Serves a URL that begins with kBaseURL; throws WebAPIError for any other.
  asio::awaitable<WebAPIResponse> send(WebAPIRequest request) override;

  // Answers `method` on `target` (the path and query as sent) with `body`, as the web
  // API would: 200 with `data` (and `next` while a list goes on), or an error status
  // with `errors`. Completes on the caller's executor.
  asio::awaitable<WebAPIResponse> serve(std::string method, std::string target,
                                        std::optional<std::string> body);

  // `observer` hears of each request served, before it is answered, on the thread
  // serving it.
  void observe(std::function<void(const Served&)> observer) { observer_ = std::move(observer); }

 private:
  asio::awaitable<WebAPIResponse> answer(const Served& request, std::string_view rawPath);
  asio::awaitable<WebAPIResponse> change(const Served& request);
  // The songs of track references ({"id", "type"}), in order; nothing when one is
  // unknown, whose id then goes to `unknown`.
  asio::awaitable<std::optional<std::vector<Song>>> songsOf(nlohmann::json references,
                                                            std::string& unknown);
  // Whether a rating's item exists: a library item when `library`, else a catalog one;
  // `kind` is "song", "album" or "playlist".
  asio::awaitable<bool> exists(bool library, std::string kind, std::string id);

  Library& library_;
  Catalog& catalog_;
  std::function<void(const Served&)> observer_;
};

}  // namespace melodock
