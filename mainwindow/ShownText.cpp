#include "ShownText.h"

#include <cstdint>

#include "AsciiWords.h"
#include "Utf8Sequence.h"

namespace quorvel {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool NeedsEscape(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029;
}

void AppendEscape(std::string& out, char32_t cp) {
    out.push_back('\\');
    switch (cp) {
        case U'\n':
            out.push_back('n');
            return;
        case U'\t':
            out.push_back('t');
            return;
        case U'\r':
            out.push_back('r');
            return;
        default:
            break;
    }
    const int digits = cp > 0xFF ? 4 : 2;
    out.push_back(cp > 0xFF ? 'u' : 'x');
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out.push_back(kHex[(cp >> shift) & 0xF]);
}

}  // namespace

void AppendShown(std::string& out, std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        // Plain printable ASCII is nearly every name: copy runs of it at once.
        std::size_t run = i;
        while (bytes.size() - run >= ascii::kWordBytes &&
               ascii::AllPrintableAscii(ascii::LoadWord(bytes.data() + run)))
            run += ascii::kWordBytes;
        if (bytes.size() - run < ascii::kWordBytes &&
            ascii::LastWordPasses(bytes.data(), bytes.size(), ascii::AllPrintableAscii))
            run = bytes.size();
        while (run < bytes.size()) {
            const auto c = static_cast<unsigned char>(bytes[run]);
            if (c < 0x20 || c >= 0x7F) break;
            ++run;
        }
        out.append(bytes.substr(i, run - i));
        i = run;
        if (i == bytes.size()) break;

        const Utf8Sequence sequence = DecodeUtf8Sequence(
            reinterpret_cast<const unsigned char*>(bytes.data()) + i, bytes.size() - i);
        if (!sequence.wellFormed) {
            // One replacement per byte: the byte count of a broken name
            // stays visible.
            out.append("\xEF\xBF\xBD");  // U+FFFD
            ++i;
        } else {
            if (NeedsEscape(sequence.codePoint)) {
                AppendEscape(out, sequence.codePoint);
            } else {
                out.append(bytes.substr(i, sequence.length));
            }
            i += sequence.length;
        }
    }
}

QString ShownText(std::string_view bytes) {
    std::string shown;
    shown.reserve(bytes.size());
    AppendShown(shown, bytes);
    return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
}

}  // namespace quorvel
