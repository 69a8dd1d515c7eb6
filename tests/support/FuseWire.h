// SPDX-License-Identifier: MIT
#pragma once
// The line protocol between a test and the FUSE server (quorvel-test-fusefs):
// one command or report a line, words separated by single spaces. A path is
// relative to the mount's root ("." is the root itself), '/'-separated, and
// escaped so that any bytes of a name survive: '%', space, control bytes and
// bytes from 0x7f up travel as %XX.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::testing::fusewire {

inline std::string Escape(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7f || c == '%') {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
    return out;
}

// A malformed escape is kept as it stands: the server then finds no such
// entry and says so, which tells more than a silently altered name.
inline std::string Unescape(std::string_view text) {
    const auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && digit(text[i + 1]) >= 0 &&
            digit(text[i + 2]) >= 0) {
            out += static_cast<char>(digit(text[i + 1]) * 16 + digit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

inline std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    while (!line.empty()) {
        const std::size_t space = line.find(' ');
        words.push_back(line.substr(0, space));
        if (space == std::string_view::npos) break;
        line.remove_prefix(space + 1);
    }
    return words;
}

// The protocol's name for a folder given to a test helper: "" is the root.
inline std::string WirePath(std::string_view relative) {
    while (!relative.empty() && relative.back() == '/') relative.remove_suffix(1);
    return relative.empty() ? std::string(".") : Escape(relative);
}

}  // namespace quorvel::testing::fusewire
