#include "ui/support_mail.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

#include <curl/curl.h>

#include "platform/app_settings.h"

namespace melodock {
namespace {

std::string fileText(const char* path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
}

// Every byte but the unreserved ones escaped, so "&", "=" and line breaks stay in their value.
std::string percentEncoded(const std::string& text) {
  const std::unique_ptr<char, decltype(&curl_free)> escaped(
      curl_easy_escape(nullptr, text.c_str(), static_cast<int>(text.size())), &curl_free);
  return escaped ? std::string(escaped.get()) : std::string();
}

std::string authorizationText(const PanelSnapshot& snapshot) {
  switch (snapshot.authorization) {
    case MusicAuthorization::Status::denied:
      return "denied";
    case MusicAuthorization::Status::restricted:
      return "restricted";
    case MusicAuthorization::Status::authorized:
      return snapshot.canPlayCatalog ? "allowed, can play songs"
                                     : "allowed, no subscription to play songs";
    case MusicAuthorization::Status::notDetermined:
      break;
  }
  return "not asked yet";
}

const char* onOff(bool on) { return on ? "on" : "off"; }

}  // namespace

std::string SystemFacts::prettyName(std::string_view osRelease) {
  constexpr std::string_view kKey = "PRETTY_NAME=";
  while (!osRelease.empty()) {
    const auto end = osRelease.find('\n');
    std::string_view line = osRelease.substr(0, end);
    osRelease = end == std::string_view::npos ? std::string_view() : osRelease.substr(end + 1);
    if (!line.starts_with(kKey)) continue;
    line.remove_prefix(kKey.size());
    std::string value = trimmed(line);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      const char quote = value.front();
      std::string unquoted;
      for (std::size_t index = 1; index + 1 < value.size(); ++index) {
        // Inside double quotes a backslash keeps the next character as it is.
        if (quote == '"' && value[index] == '\\' && index + 2 < value.size()) ++index;
        unquoted += value[index];
      }
      value = std::move(unquoted);
    }
    if (!value.empty()) return value;
  }
  return "Linux";
}

std::string SystemFacts::languageTag(std::string_view locale) {
  locale = locale.substr(0, locale.find_first_of(".@"));
  if (locale.empty() || locale == "C" || locale == "POSIX") return {};
  std::string tag(locale);
  for (char& c : tag) {
    if (c == '_') c = '-';
  }
  return tag;
}

SystemFacts SystemFacts::read() {
  SystemFacts facts;
  std::string osRelease = fileText("/etc/os-release");
  if (osRelease.empty()) osRelease = fileText("/usr/lib/os-release");
  facts.system = prettyName(osRelease);
  facts.model = trimmed(fileText("/sys/class/dmi/id/product_name"));
  if (facts.model.empty()) facts.model = "?";
  // LANGUAGE lists the user's languages in order; the locale variables name one.
  for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe): read before threads
    if (value == nullptr) continue;
    const std::string_view text(value);
    facts.language = languageTag(text.substr(0, text.find(':')));
    if (!facts.language.empty()) break;
  }
  if (facts.language.empty()) facts.language = "?";
  return facts;
}

namespace support_mail {

std::string version(const Product& product) {
  return (product.version.empty() ? "?" : product.version) + " (" +
         (product.build.empty() ? "?" : product.build) + ")";
}

std::vector<std::string> details(const Product& product, const SystemFacts& system,
                                 const PanelSnapshot& snapshot) {
  std::string server = "Server: ";
  if (snapshot.running) {
    const std::int64_t port = snapshot.port.value_or(0);
    server += "running on port " + std::to_string(port == 0 ? AppSettings::kDefaultPort : port);
  } else {
    server += "not running";
    if (snapshot.problem) server += " (" + *snapshot.problem + ")";
  }
  const bool named = snapshot.lastClient && !snapshot.lastClient->empty();
  return {
      "Melodock " + version(product),
      system.system + ", " + system.model,
      "Apple Music: " + authorizationText(snapshot),
      std::move(server),
      "Last AI app: " + (named ? *snapshot.lastClient : std::string("none since launch")),
      std::string("Share Library & History: ") + onOff(snapshot.sharePersonalData) +
          " · Allow Library Changes: " + onOff(snapshot.allowLibraryChanges),
      std::string("Low Data Mode: ") + onOff(snapshot.lowDataMode),
      "Language: " + system.language,
  };
}

std::string url(const Product& product, const SystemFacts& system, const PanelSnapshot& snapshot) {
  if (product.supportAddress.empty()) return {};
  // Room for the user's message above the dash.
  std::string body = "\n\n\n—\n";
  const std::vector<std::string> lines = details(product, system, snapshot);
  for (std::size_t index = 0; index < lines.size(); ++index) {
    if (index > 0) body += '\n';
    body += lines[index];
  }
  return "mailto:" + product.supportAddress +
         "?subject=" + percentEncoded("Melodock " + version(product)) +
         "&body=" + percentEncoded(body);
}

}  // namespace support_mail

}  // namespace melodock
