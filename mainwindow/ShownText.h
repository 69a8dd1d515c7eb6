// SPDX-License-Identifier: MIT
#pragma once
// How raw name bytes are shown in the window. The scanner keeps names as the
// file system gives them; a pane shows one entry per line, so a name holding
// a line break or a tab must not split or misalign its line, and a name
// holding a bidirectional control must not make its line read in another
// order than it holds.

#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

// Appends `bytes` to `out` as valid UTF-8 that holds no control characters:
// "\n", "\t" and "\r" become backslash-n, -t, -r; any other C0 control and
// DEL become \xNN; C1 controls, the Unicode line and paragraph separators
// and the bidirectional controls (U+061C, U+200E, U+200F, U+202A to U+202E,
// U+2066 to U+2069) become \uNNNN; a byte that does not start a well-formed
// UTF-8 sequence becomes \xNN, its value.
//
// The shown form is unambiguous: two different names never show the same
// text. For that, a backslash is doubled where it would otherwise read as
// the start of an escape: before another backslash, before n, t, r, x or u,
// and before anything that is itself escaped. Any other backslash, and
// every other character, shows as it is.
void AppendShown(std::string& out, std::string_view bytes);

// The size of what AppendShown would append, in bytes and in UTF-16 units,
// without building it.
struct ShownSize {
    std::uint64_t bytes = 0;
    std::uint64_t units = 0;
};
ShownSize ShownSizeOf(std::string_view bytes);

// The same, decoded for a label or a list item.
QString ShownText(std::string_view bytes);

}  // namespace quorvel
