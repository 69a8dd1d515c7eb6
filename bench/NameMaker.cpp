// SPDX-License-Identifier: MIT
#include "NameMaker.h"

#include <array>
#include <string_view>

namespace quorvel::bench {
namespace {

constexpr std::string_view kPlain =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-.";
constexpr std::string_view kOddAscii = " '\"\\*?$#&;()[]{}!\t";
constexpr std::array<std::string_view, 12> kExtensions = {
    ".txt", ".jpg", ".cpp", ".h", ".pdf", ".md", ".json", ".png", ".so.1", ".tar.gz", ".conf", ""};

std::string Base36(std::uint32_t n) {
    std::string out;
    do {
        out.insert(out.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[n % 36]);
        n /= 36;
    } while (n != 0);
    return out;
}

}  // namespace

std::string NameMaker::Make(std::uint32_t indexInFolder, bool isFile) {
    // Two draws summed: lengths cluster in the low teens, as real names do.
    const std::size_t length = 5 + rng_.Below(14) + rng_.Below(13);
    std::string name = Base36(indexInFolder);
    name.push_back('_');

    std::string_view extension;
    if (isFile) extension = kExtensions[rng_.Below(kExtensions.size())];
    if (name.size() + extension.size() >= length) extension = {};
    while (name.size() + extension.size() < length)
        name.push_back(kPlain[rng_.Below(kPlain.size())]);
    name.append(extension);

    if (rng_.Chance(10)) {
        // Odd bytes only after the prefix, which keeps the name unique.
        const std::size_t prefix = name.find('_') + 1;
        const std::uint32_t count = rng_.Between(1, 3);
        for (std::uint32_t k = 0; k < count && prefix < name.size(); ++k) {
            const std::size_t at =
                prefix + rng_.Below(static_cast<std::uint32_t>(name.size() - prefix));
            // Half the odd bytes are high bytes at random, which makes the
            // name invalid UTF-8 almost always (a lone 0xFF always does).
            if (rng_.Chance(500)) {
                name[at] = static_cast<char>(k == 0 ? 0xFF : 0x80 + rng_.Below(128));
            } else {
                name[at] = kOddAscii[rng_.Below(kOddAscii.size())];
            }
        }
    }
    return name;
}

}  // namespace quorvel::bench
