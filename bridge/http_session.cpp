#include "bridge/http_session.h"

#include <curl/curl.h>

namespace melodock {
namespace {

// The wording a client sees after "Melodock isn't reachable: ".
constexpr const char* kCannotConnect = "Could not connect to the server.";
constexpr const char* kTimedOut = "The request timed out.";

std::size_t append(char* data, std::size_t size, std::size_t count, void* body) {
  static_cast<std::string*>(body)->append(data, size * count);
  return size * count;
}

struct HeaderList {
  curl_slist* list = nullptr;
  ~HeaderList() { curl_slist_free_all(list); }
};

}  // namespace

TransportError TransportError::cannotConnect() {
  return TransportError(Kind::cannotConnect, kCannotConnect);
}

struct HttpSession::Handle {
  CURL* curl = nullptr;
};

HttpSession::HttpSession() : handle_(std::make_unique<Handle>()) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  handle_->curl = curl_easy_init();
}

HttpSession::~HttpSession() {
  curl_easy_cleanup(handle_->curl);
  curl_global_cleanup();
}

HttpAnswer HttpSession::post(const std::string& url, std::string_view body,
                             const std::vector<std::string>& headers,
                             std::chrono::milliseconds timeout) {
  CURL* curl = handle_->curl;
  if (curl == nullptr) throw TransportError(TransportError::Kind::other, "libcurl is unavailable");
  curl_easy_reset(curl);

  HeaderList list;
  for (const std::string& header : headers)
    list.list = curl_slist_append(list.list, header.c_str());
  // libcurl would otherwise wait for a "100 Continue" before sending a large body.
  list.list = curl_slist_append(list.list, "Expect:");

  HttpAnswer answer;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROXY, "");  // the endpoint is loopback: never a proxy
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_POST, 1L);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list.list);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()));
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, append);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.body);

  const CURLcode code = curl_easy_perform(curl);
  switch (code) {
    case CURLE_OK:
      break;
    case CURLE_COULDNT_CONNECT:
      throw TransportError::cannotConnect();
    case CURLE_OPERATION_TIMEDOUT:
      throw TransportError(TransportError::Kind::timedOut, kTimedOut);
    default:
      throw TransportError(TransportError::Kind::other, curl_easy_strerror(code));
  }
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
  return answer;
}

}  // namespace melodock
