#include "platform/music/web_api/web_api_http_transport.h"

#include <curl/curl.h>

#include <strings.h>

#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/music/web_api/web_api_url.h"

namespace melodock {
namespace {

// The wording of the usual failures, as the system's URL loading words them.
constexpr const char* kCannotConnect = "Could not connect to the server.";
constexpr const char* kTimedOut = "The request timed out.";
constexpr const char* kCancelled = "The request was cancelled.";
// ms. libcurl wakes itself sooner for its own timers while transfers run; with none,
// the thread sleeps until a new request or the end wakes it, so an idle app never runs.
constexpr int kBusyPoll = 1000;
constexpr int kIdleWait = std::numeric_limits<int>::max();

constexpr const char* kTooLarge = "The answer is too large.";
constexpr const char* kRedirectRefused =
    "The server redirected to an address that is not https://.";
constexpr long kMaxRedirects = 5;

std::optional<std::string> part(CURLU* url, CURLUPart which) {
  char* text = nullptr;
  if (curl_url_get(url, which, &text, 0) != CURLUE_OK) return std::nullopt;
  std::string copy(text);
  curl_free(text);
  return copy;
}

}  // namespace

struct WebAPIHTTPTransport::Transfer {
  WebAPIRequest request;
  std::string received;
  bool tooLarge = false;
  curl_slist* headers = nullptr;
  CURL* easy = nullptr;
  // Called once, on the worker thread; hands the outcome to the caller's executor.
  std::function<void(std::exception_ptr, WebAPIResponse)> done;

  Transfer() = default;
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;
  ~Transfer() {
    if (easy != nullptr) curl_easy_cleanup(easy);
    curl_slist_free_all(headers);
  }

  static std::size_t append(char* data, std::size_t size, std::size_t count, void* self) {
    auto& transfer = *static_cast<Transfer*>(self);
    const std::size_t limit = transfer.request.bodyLimit;
    if (limit != 0 && transfer.received.size() + size * count > limit) {
      transfer.tooLarge = true;
      return 0;  // libcurl ends the transfer
    }
    transfer.received.append(data, size * count);
    return size * count;
  }
};

// Runs the transfers of a curl multi handle on its own thread; new ones arrive through a
// locked list and a wake-up.
class WebAPIHTTPTransport::Worker {
 public:
  Worker() : multi_(curl_multi_init()), thread_([this] { loop(); }) {}
  ~Worker() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    curl_multi_wakeup(multi_);
    thread_.join();
    curl_multi_cleanup(multi_);
  }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  void add(std::unique_ptr<Transfer> transfer) {
    {
      std::lock_guard lock(mutex_);
      incoming_.push_back(std::move(transfer));
    }
    curl_multi_wakeup(multi_);
  }

 private:
  void loop() {
    std::map<CURL*, std::unique_ptr<Transfer>> running;
    for (;;) {
      std::vector<std::unique_ptr<Transfer>> arrived;
      bool stopping = false;
      {
        std::lock_guard lock(mutex_);
        arrived.swap(incoming_);
        stopping = stopping_;
      }
      for (auto& transfer : arrived) {
        if (stopping) {
          transfer->done(std::make_exception_ptr(WebAPIError(kCancelled)), {});
          continue;
        }
        curl_multi_add_handle(multi_, transfer->easy);
        CURL* easy = transfer->easy;
        running.emplace(easy, std::move(transfer));
      }
      if (stopping) break;
      int active = 0;
      curl_multi_perform(multi_, &active);
      int left = 0;
      while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
        if (message->msg != CURLMSG_DONE) continue;
        const auto found = running.find(message->easy_handle);
        if (found == running.end()) continue;
        const CURLcode result = message->data.result;
        curl_multi_remove_handle(multi_, found->first);
        finish(*found->second, result);
        running.erase(found);
      }
      curl_multi_poll(multi_, nullptr, 0, running.empty() ? kIdleWait : kBusyPoll, nullptr);
    }
    for (auto& [easy, transfer] : running) {
      curl_multi_remove_handle(multi_, easy);
      transfer->done(std::make_exception_ptr(WebAPIError(kCancelled)), {});
    }
  }

  static void finish(Transfer& transfer, CURLcode result) {
    if (result == CURLE_OK) {
      long status = 0;
      curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
      transfer.done(nullptr,
                    WebAPIResponse{static_cast<int>(status), std::move(transfer.received)});
      return;
    }
    const char* text = transfer.tooLarge                      ? kTooLarge
                       : result == CURLE_COULDNT_CONNECT      ? kCannotConnect
                       : result == CURLE_OPERATION_TIMEDOUT   ? kTimedOut
                       : result == CURLE_UNSUPPORTED_PROTOCOL ? kRedirectRefused
                                                              : curl_easy_strerror(result);
    transfer.done(std::make_exception_ptr(WebAPIError(text)), {});
  }

  std::mutex mutex_;
  std::vector<std::unique_ptr<Transfer>> incoming_;  // guarded by mutex_
  bool stopping_ = false;                            // guarded by mutex_
  CURLM* multi_;                                     // made before the thread starts
  std::thread thread_;
};

WebAPIHTTPTransport::WebAPIHTTPTransport() {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  worker_ = std::make_unique<Worker>();
}

WebAPIHTTPTransport::~WebAPIHTTPTransport() {
  worker_.reset();
  curl_global_cleanup();
}

std::optional<std::string> WebAPIHTTPTransport::refusal(const std::string& url) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parsed(curl_url(), &curl_url_cleanup);
  // As it stands: libcurl would otherwise resolve dot segments into another path.
  if (!parsed ||
      curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), CURLU_PATH_AS_IS) != CURLUE_OK ||
      !isPlainWebAPIPath(part(parsed.get(), CURLUPART_PATH).value_or(""))) {
    return "Not a valid web API URL: " + url;
  }
  const std::string scheme = part(parsed.get(), CURLUPART_SCHEME).value_or("");
  if (scheme == "https") return std::nullopt;
  std::string host = part(parsed.get(), CURLUPART_HOST).value_or("");
  if (scheme == "http") {
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
      host = host.substr(1, host.size() - 2);
    }
    asio::error_code error;
    const asio::ip::address address = asio::ip::make_address(host, error);
    if (!error && address.is_loopback()) return std::nullopt;
    return "The web API at " + host +
           " must be reached with https://: plain http:// is only for loopback addresses.";
  }
  return "The web API must be reached with https://, not " + scheme + "://.";
}

asio::awaitable<WebAPIResponse> WebAPIHTTPTransport::send(WebAPIRequest request) {
  if (auto why = refusal(request.url)) throw WebAPIError(*why);
  auto transfer = std::make_unique<Transfer>();
  transfer->request = std::move(request);
  transfer->easy = curl_easy_init();
  if (transfer->easy == nullptr) throw WebAPIError("libcurl is unavailable");
  CURL* easy = transfer->easy;
  const WebAPIRequest& sent = transfer->request;
  bool typed = false;
  for (const auto& [name, value] : sent.headers) {
    std::string line = name;
    line.append(": ").append(value);
    transfer->headers = curl_slist_append(transfer->headers, line.c_str());
    typed = typed || strcasecmp(name.c_str(), "Content-Type") == 0;
  }
  // libcurl would otherwise wait for a "100 Continue" before sending a large body.
  transfer->headers = curl_slist_append(transfer->headers, "Expect:");
  // A POST or PUT would otherwise carry libcurl's form Content-Type; only the caller's goes.
  if (!typed) transfer->headers = curl_slist_append(transfer->headers, "Content-Type:");
  curl_easy_setopt(easy, CURLOPT_URL, sent.url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_NOPROXY, "127.0.0.0/8,::1,localhost");
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(sent.timeout.count()));
  if (sent.body) {
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, sent.body->data());
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(sent.body->size()));
  } else if (sent.method == "POST" || sent.method == "PUT") {
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, "");
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t{0});
  }
  curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, sent.method.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headers);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Transfer::append);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
  if (sent.followRedirects) {
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "https");
  }

  auto operation =
      asio::async_initiate<const asio::use_awaitable_t<>, void(std::exception_ptr, WebAPIResponse)>(
          [this](auto handler, std::unique_ptr<Transfer> transfer) {
            // As the database thread does: the caller's executor counts as busy until the
            // outcome is back, and everything of the caller's is released on its side.
            auto home = asio::prefer(asio::get_associated_executor(handler),
                                     asio::execution::outstanding_work.tracked);
            auto target = asio::prefer(asio::get_associated_executor(handler),
                                       asio::execution::outstanding_work.untracked);
            using Handler = decltype(handler);
            using Home = decltype(home);
            using Target = decltype(target);
            struct Completion {
              Handler handler;
              Home home;
              Target target;
            };
            auto completion = std::make_shared<Completion>(
                Completion{std::move(handler), std::move(home), std::move(target)});
            transfer->done = [completion](std::exception_ptr error, WebAPIResponse response) {
              asio::post(completion->target, [handler = std::move(completion->handler),
                                              home = std::move(completion->home), error,
                                              response = std::move(response)]() mutable {
                std::move(handler)(error, std::move(response));
              });
            };
            worker_->add(std::move(transfer));
          },
          asio::use_awaitable, std::move(transfer));
  co_return co_await std::move(operation);
}

}  // namespace melodock
