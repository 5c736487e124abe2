// The support mail's details and link, and the system facts it reads.
#include "ui/support_mail.h"

#include <gtest/gtest.h>

namespace melodock {
namespace {

const Product kProduct{.version = "1.2",
                       .build = "45",
                       .updateFeedURL = {},
                       .supportAddress = "help@example.org",
                       .siteURL = {}};
const SystemFacts kSystem{
    .system = "Debian GNU/Linux 12 (bookworm)", .model = "ThinkPad X13", .language = "de-AT"};

TEST(SupportMail, DetailsFollowWhatThePanelSaw) {
  struct Row {
    const char* name;
    PanelSnapshot snapshot;
    std::size_t line;
    std::string expected;
  };
  const PanelSnapshot running{.running = true, .lastClient = "Claude Code", .port = 0};
  const std::vector<Row> rows = {
      {"never asked, nobody yet", {}, 2, "Apple Music: not asked yet"},
      {"denied", {.authorization = MusicAuthorization::Status::denied}, 2, "Apple Music: denied"},
      {"restricted",
       {.authorization = MusicAuthorization::Status::restricted},
       2,
       "Apple Music: restricted"},
      {"allowed",
       {.authorization = MusicAuthorization::Status::authorized, .canPlayCatalog = true},
       2,
       "Apple Music: allowed, can play songs"},
      {"no subscription",
       {.authorization = MusicAuthorization::Status::authorized},
       2,
       "Apple Music: allowed, no subscription to play songs"},
      {"port conflict",
       {.running = false, .problem = "Port 47291 is in use by another program."},
       3,
       "Server: not running (Port 47291 is in use by another program.)"},
      {"stopped, no problem", {}, 3, "Server: not running"},
      {"port 0 is the default", running, 3, "Server: running on port 47291"},
      {"own port", {.running = true, .port = 50000}, 3, "Server: running on port 50000"},
      {"before any client", {}, 4, "Last AI app: none since launch"},
      {"a client", running, 4, "Last AI app: Claude Code"},
      {"consents",
       {.allowLibraryChanges = true},
       5,
       "Share Library & History: off · Allow Library Changes: on"},
      {"low data mode", {.lowDataMode = true}, 6, "Low Data Mode: on"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto lines = support_mail::details(kProduct, kSystem, row.snapshot);
    ASSERT_EQ(lines.size(), 8U);
    EXPECT_EQ(lines[row.line], row.expected);
  }
}

TEST(SupportMail, TheLinkCarriesSubjectAndBodyEncoded) {
  const PanelSnapshot snapshot{.running = true, .port = 47291};
  EXPECT_EQ(
      support_mail::url(kProduct, kSystem, snapshot),
      "mailto:help@example.org?subject=Melodock%201.2%20%2845%29&body=%0A%0A%0A%E2%80%94%0A"
      "Melodock%201.2%20%2845%29%0ADebian%20GNU%2FLinux%2012%20%28bookworm%29%2C%20ThinkPad%20"
      "X13%0AApple%20Music%3A%20not%20asked%20yet%0AServer%3A%20running%20on%20port%2047291%0A"
      "Last%20AI%20app%3A%20none%20since%20launch%0AShare%20Library%20%26%20History%3A%20off%20"
      "%C2%B7%20Allow%20Library%20Changes%3A%20off%0ALow%20Data%20Mode%3A%20off%0A"
      "Language%3A%20de-AT");
  // A build with no number, and one with no support address.
  Product unnumbered = kProduct;
  unnumbered.build.clear();
  EXPECT_EQ(support_mail::details(unnumbered, kSystem, snapshot)[0], "Melodock 1.2 (?)");
  unnumbered.supportAddress.clear();
  EXPECT_EQ(support_mail::url(unnumbered, kSystem, snapshot), "");
}

TEST(SystemFacts, ReadOsReleaseAndLocales) {
  EXPECT_EQ(SystemFacts::prettyName("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 "
                                    "(bookworm)\"\nID=debian\n"),
            "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(SystemFacts::prettyName("PRETTY_NAME='Arch Linux'"), "Arch Linux");
  EXPECT_EQ(SystemFacts::prettyName("PRETTY_NAME=\"Say \\\"hi\\\"\""), "Say \"hi\"");
  EXPECT_EQ(SystemFacts::prettyName("NAME=Foo\n"), "Linux");
  EXPECT_EQ(SystemFacts::languageTag("de_AT.UTF-8@euro"), "de-AT");
  EXPECT_EQ(SystemFacts::languageTag("en"), "en");
  EXPECT_EQ(SystemFacts::languageTag("C.UTF-8"), "");
  EXPECT_EQ(SystemFacts::languageTag("POSIX"), "");
}

}  // namespace
}  // namespace melodock
