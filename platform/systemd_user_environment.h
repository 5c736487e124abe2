// The environment of the user's systemd session, for processes started with a reduced
// one (AI clients hand their stdio servers little more than HOME and PATH).
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <string_view>

namespace melodock {

// `systemctl --user show-environment`, given at most `timeout` to answer; empty when
// there is no user manager or it does not answer in time.
[[nodiscard]] std::map<std::string, std::string> systemdUserEnvironment(
    std::chrono::milliseconds timeout = std::chrono::seconds(2));

// Its output, one "NAME=value" a line. Values systemctl had to quote ($'...') are left
// out: the variables the program takes from it never need quoting.
[[nodiscard]] std::map<std::string, std::string> parseShowEnvironment(std::string_view text);

}  // namespace melodock
