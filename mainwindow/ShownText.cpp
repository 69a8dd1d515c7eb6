// SPDX-License-Identifier: MIT
#include "ShownText.h"

#include <cstdint>

#include "AsciiWords.h"
#include "Utf8Sequence.h"

namespace quorvel {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool IsBidiControl(char32_t cp) {
    return cp == 0x061C || cp == 0x200E || cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) ||
           (cp >= 0x2066 && cp <= 0x2069);
}

bool NeedsEscape(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029 ||
           IsBidiControl(cp);
}

// Printable ASCII other than the backslash: shown exactly as it is.
bool Plain(unsigned char c) {
    return c >= 0x20 && c < 0x7F && c != '\\';
}

bool AllPlain(std::uint64_t word) {
    return ascii::AllPrintableAsciiBut(word, '\\');
}

// Where the shown form goes: into a string, or only counted. Everything but a
// well-formed sequence shown as it is is ASCII, one UTF-16 unit a byte.
struct ToString {
    std::string& out;
    void Ascii(std::string_view text) { out.append(text); }
    void Ascii(char c) { out.push_back(c); }
    void Sequence(std::string_view bytes, std::uint64_t) { out.append(bytes); }
};
struct ToSize {
    ShownSize size;
    void Ascii(std::string_view text) {
        size.bytes += text.size();
        size.units += text.size();
    }
    void Ascii(char) {
        ++size.bytes;
        ++size.units;
    }
    void Sequence(std::string_view bytes, std::uint64_t units) {
        size.bytes += bytes.size();
        size.units += units;
    }
};

template <class Out>
void AppendHex(Out& out, char kind, char32_t value, int digits) {
    out.Ascii('\\');
    out.Ascii(kind);
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out.Ascii(kHex[(value >> shift) & 0xF]);
}

// \xNN stands for a byte and \uNNNN for a character; below 0x80 the two are
// the same, so C0 controls and DEL take the shorter form.
template <class Out>
void AppendEscape(Out& out, char32_t cp) {
    switch (cp) {
        case U'\n':
            out.Ascii("\\n");
            return;
        case U'\t':
            out.Ascii("\\t");
            return;
        case U'\r':
            out.Ascii("\\r");
            return;
        default:
            break;
    }
    if (cp < 0x80) {
        AppendHex(out, 'x', cp, 2);
    } else {
        AppendHex(out, 'u', cp, 4);
    }
}

// Whether what `rest` (the bytes after a backslash) starts with would, shown
// after a single backslash, read as an escape.
bool ReadsAsEscape(std::string_view rest) {
    if (rest.empty()) return false;
    const auto c = static_cast<unsigned char>(rest.front());
    if (c < 0x80) return !Plain(c) || std::string_view("ntrxu").find(rest.front()) != rest.npos;
    const Utf8Sequence next =
        DecodeUtf8Sequence(reinterpret_cast<const unsigned char*>(rest.data()), rest.size());
    return !next.wellFormed || NeedsEscape(next.codePoint);
}

template <class Out>
void Show(Out& out, std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        // Plain printable ASCII is nearly every name: copy runs of it at once.
        std::size_t run = i;
        while (bytes.size() - run >= ascii::kWordBytes &&
               AllPlain(ascii::LoadWord(bytes.data() + run)))
            run += ascii::kWordBytes;
        if (bytes.size() - run < ascii::kWordBytes &&
            ascii::LastWordPasses(bytes.data(), bytes.size(), AllPlain))
            run = bytes.size();
        while (run < bytes.size() && Plain(static_cast<unsigned char>(bytes[run]))) ++run;
        out.Ascii(bytes.substr(i, run - i));
        i = run;
        if (i == bytes.size()) break;

        if (bytes[i] == '\\') {
            out.Ascii(ReadsAsEscape(bytes.substr(i + 1)) ? "\\\\" : "\\");
            ++i;
            continue;
        }
        const Utf8Sequence sequence = DecodeUtf8Sequence(
            reinterpret_cast<const unsigned char*>(bytes.data()) + i, bytes.size() - i);
        if (!sequence.wellFormed) {
            // One escape per byte, so the bytes come back from what is shown.
            AppendHex(out, 'x', static_cast<unsigned char>(bytes[i]), 2);
            ++i;
        } else {
            if (NeedsEscape(sequence.codePoint)) {
                AppendEscape(out, sequence.codePoint);
            } else {
                // Four bytes make a character beyond the basic plane: two units.
                out.Sequence(bytes.substr(i, sequence.length), sequence.length == 4 ? 2 : 1);
            }
            i += sequence.length;
        }
    }
}

}  // namespace

void AppendShown(std::string& out, std::string_view bytes) {
    ToString to{out};
    Show(to, bytes);
}

ShownSize ShownSizeOf(std::string_view bytes) {
    ToSize to;
    Show(to, bytes);
    return to.size;
}

QString ShownText(std::string_view bytes) {
    std::string shown;
    shown.reserve(bytes.size());
    AppendShown(shown, bytes);
    return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
}

}  // namespace quorvel
