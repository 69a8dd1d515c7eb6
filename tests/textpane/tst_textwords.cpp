// SPDX-License-Identifier: MIT
// The text pane's word-at-a-time shortcuts (AsciiWords.h), and Qt's check of
// UTF-8 that the pane relies on, must give the same results as looking at
// each byte. One odd character (a control, a byte that
// is not UTF-8, a multi-byte character) is put at every offset of an otherwise
// plain text, for every length around a few words, so that it falls in each
// lane of a word, at a word's edge, and in the tail left over after the last
// whole word.

#include <QtTest>
#include <string>
#include <vector>

#include "AsciiWords.h"
#include "TextPaneUtf8.h"

using namespace quorvel;

namespace {

constexpr int kMaxLength = 27;  // three words and a tail

std::string Plain(int length) {
    std::string text;
    for (int i = 0; i < length; ++i) text.push_back(static_cast<char>('a' + i % 26));
    return text;
}

struct Odd {
    std::string bytes;  // put into the plain text
    bool wellFormed;
    int utf16Units;
};

const std::vector<Odd>& OddBytes() {
    static const std::vector<Odd> odd{
        {std::string(1, '\0'), true, 1},
        {"\x1F", true, 1},
        {"\n", true, 1},
        {"\x7F", true, 1},
        {"\x80", false, 0},  // a continuation byte alone
        {"\xFF", false, 0},
        {"\xC3\xA9", true, 1},          // U+00E9
        {"\xC2\x85", true, 1},          // C1 control
        {"\xE2\x82\xAC", true, 1},      // U+20AC
        {"\xF0\x9F\x98\x80", true, 2},  // U+1F600, a surrogate pair
    };
    return odd;
}

}  // namespace

class TextWordsTest : public QObject {
    Q_OBJECT

  private slots:
    void wordTests();
    void plainText();
    void oneOddCharacterAnywhere();
};

void TextWordsTest::wordTests() {
    // The edges of the printable range, in every lane.
    for (int lane = 0; lane < 8; ++lane) {
        for (const int c : {0x00, 0x1F, 0x20, 0x7E, 0x7F, 0x80, 0xFF}) {
            std::string word = "abcdefgh";
            word[static_cast<std::size_t>(lane)] = static_cast<char>(c);
            const std::uint64_t w = ascii::LoadWord(word.data());
            QCOMPARE(ascii::AllAscii(w), c < 0x80);
            QCOMPARE(ascii::AllPrintableAscii(w), c >= 0x20 && c <= 0x7E);
        }
    }
    // Several failing lanes at once, the borrow of one running into the next.
    QVERIFY(!ascii::AllPrintableAscii(ascii::LoadWord("\x1F\x20\x00\x7F\x20\x20\x20\x20")));
    QVERIFY(ascii::AllPrintableAscii(ascii::LoadWord("\x20\x7E\x20\x7E\x20\x7E\x20\x7E")));
}

void TextWordsTest::plainText() {
    for (int length = 0; length <= kMaxLength; ++length) {
        const std::string text = Plain(length);
        QVERIFY(QByteArrayView(text.data(), qsizetype(text.size())).isValidUtf8());
        QCOMPARE(textpane::Utf16Length(text), std::uint64_t(length));
    }
}

void TextWordsTest::oneOddCharacterAnywhere() {
    for (const Odd& odd : OddBytes()) {
        for (int length = 0; length <= kMaxLength; ++length) {
            for (int at = 0; at <= length; ++at) {
                const std::string plain = Plain(length);
                const auto offset = static_cast<std::size_t>(at);
                const std::string text = plain.substr(0, offset) + odd.bytes + plain.substr(offset);
                const std::string where =
                    "length " + std::to_string(length) + ", at " + std::to_string(at);

                // The pane takes Qt's word on which bytes are well-formed,
                // and counts and decodes them with its own code.
                QVERIFY2(QByteArrayView(text.data(), qsizetype(text.size())).isValidUtf8() ==
                             odd.wellFormed,
                         where.c_str());
                if (odd.wellFormed) {
                    QVERIFY2(textpane::Utf16Length(text) ==
                                 std::uint64_t(length) + std::uint64_t(odd.utf16Units),
                             where.c_str());
                }
            }
        }
    }
}

QTEST_APPLESS_MAIN(TextWordsTest)
#include "tst_textwords.moc"
