#pragma once
// How raw name bytes are shown in the window. The scanner keeps names as the
// file system gives them; a pane shows one entry per line, so a name holding
// a line break or a tab must not split or misalign its line.

#include <QString>
#include <string>
#include <string_view>

namespace quorvel {

// Appends `bytes` to `out` as valid UTF-8 that holds no control characters:
// "\n", "\t" and "\r" become backslash-n, -t, -r; any other C0 or C1 control,
// DEL, and the Unicode line and paragraph separators become \xNN or \uNNNN;
// a byte that does not start a well-formed UTF-8 sequence becomes U+FFFD.
// A backslash is kept as it is, so a name shows unchanged unless it needs
// escaping.
void AppendShown(std::string& out, std::string_view bytes);

// The same, decoded for a label or a list item.
QString ShownText(std::string_view bytes);

}  // namespace quorvel
