// The support mail: a mailto link to the product's support address whose subject names
// this build and whose body leaves room for the user's words above diagnostic details
// (versions, Apple Music access, the server, the last AI app, consent, Low Data Mode,
// language). The About credits offer it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ui/panel_model.h"
#include "ui/product.h"

namespace melodock {

// What the mail says about the machine it was written on.
struct SystemFacts {
  std::string system;    // os-release's PRETTY_NAME ("Linux" when it has none)
  std::string model;     // the DMI product name; "?" when unreadable
  std::string language;  // the first preferred language, e.g. "en-US"; "?" for none

  // Reads /etc/os-release (else /usr/lib/os-release), /sys/class/dmi/id/product_name and
  // the locale environment (LANGUAGE, LC_ALL, LC_MESSAGES, LANG). Reads the environment:
  // call it before other threads start.
  [[nodiscard]] static SystemFacts read();
  // PRETTY_NAME from an os-release text, unquoted; "Linux" when it has none.
  [[nodiscard]] static std::string prettyName(std::string_view osRelease);
  // A locale value ("de_AT.UTF-8@euro") as a language identifier ("de-AT"); empty for
  // "C", "POSIX" and nothing.
  [[nodiscard]] static std::string languageTag(std::string_view locale);
};

namespace support_mail {

// The version text and build number, "1.2 (45)"; "?" for a missing part.
[[nodiscard]] std::string version(const Product& product);
// The eight detail lines, from what the panel last saw of the app.
[[nodiscard]] std::vector<std::string> details(const Product& product, const SystemFacts& system,
                                               const PanelSnapshot& snapshot);
// "mailto:" + the support address, with the subject and body percent-encoded; empty
// when the build has no support address.
[[nodiscard]] std::string url(const Product& product, const SystemFacts& system,
                              const PanelSnapshot& snapshot);

}  // namespace support_mail

}  // namespace melodock
