// SPDX-License-Identifier: MIT
// The text pane's row store: rows kept as what they do not share with the row
// before, decoded exactly at every group edge, for every kind of overlap, and
// under random appends and cuts against a plain list of rows.

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

#include "TextPaneLines.h"
#include "TextPaneRowCodec.h"

using namespace quorvel::textpane;

namespace {

constexpr std::size_t kGroup = TextPaneLines::kGroup;

// Joins pieces; `"text" + std::string` trips a false GCC 12 -Wrestrict warning.
std::string Cat(std::initializer_list<std::string_view> pieces) {
    std::string joined;
    for (const std::string_view piece : pieces) joined.append(piece);
    return joined;
}

std::string Number(std::size_t n) {
    return std::to_string(n);
}

// The rows of a text split at '\n'; a final '\n' leaves an empty last row.
std::vector<std::string> SplitRows(const std::string& text) {
    std::vector<std::string> rows(1);
    for (const char c : text) {
        if (c == '\n')
            rows.emplace_back();
        else
            rows.back().push_back(c);
    }
    return rows;
}

std::uint64_t Units(std::string_view utf8) {
    return static_cast<std::uint64_t>(
        QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).size());
}

// The byte offset of each UTF-16 position of a well-formed text, from Qt's
// decoding of it: a character's bytes are its first one and the continuation
// bytes after it. A position inside a surrogate pair has no offset of its own.
constexpr std::uint64_t kInsidePair = ~std::uint64_t{0};
std::vector<std::uint64_t> BytesAtUnits(const std::string& text) {
    const QString decoded = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    std::vector<std::uint64_t> bytes(static_cast<std::size_t>(decoded.size()) + 1, kInsidePair);
    std::size_t byte = 0;
    for (qsizetype unit = 0; unit < decoded.size();
         unit += decoded[unit].isHighSurrogate() ? 2 : 1) {
        bytes[static_cast<std::size_t>(unit)] = byte;
        do ++byte;
        while (byte < text.size() && (static_cast<unsigned char>(text[byte]) & 0xC0) == 0x80);
    }
    bytes.back() = text.size();
    return bytes;
}

// Inside a surrogate pair, the character's start or, with roundUp, its end.
std::uint64_t ExpectedByte(const std::vector<std::uint64_t>& bytes, std::uint64_t position,
                           bool roundUp) {
    if (bytes[position] != kInsidePair) return bytes[position];
    return bytes[roundUp ? position + 1 : position - 1];
}

std::string RecordRoundTrip(std::string_view previous, std::string_view row, RowRecord& plan) {
    plan = PlanRow(previous, row);
    std::string stored(plan.RecordSize(), '\0');
    WriteRow(plan, row, stored.data());
    const RowRecord read = ReadRow(stored.data());
    bool same = read.byColumn == plan.byColumn && read.pieces == plan.pieces &&
                read.header == plan.header && read.stored == plan.stored &&
                read.rowSize == plan.rowSize;
    for (std::size_t i = 0; i < plan.pieces; ++i) {
        same = same && read.piece[i].prefix == plan.piece[i].prefix &&
               read.piece[i].suffix == plan.piece[i].suffix &&
               read.piece[i].middle == plan.piece[i].middle;
    }
    if (!same) return "header mismatch";
    std::string decoded;
    DecodeRow(read, stored.data(), previous, decoded);
    return decoded;
}

// Compares everything a store tells about its text with the text itself.
void CheckStore(const TextPaneLines& lines, const std::string& text, const char* where) {
    const std::vector<std::string> rows = SplitRows(text);
    QVERIFY2(lines.ByteSize() == text.size(), where);
    QVERIFY2(lines.Utf16Size() == Units(text), where);
    QVERIFY2(lines.RowCount() == rows.size(), where);
    QVERIFY2(lines.EndsWithNewline() == (!text.empty() && text.back() == '\n'), where);
    std::uint64_t begin = 0;
    std::uint64_t unitsBegin = 0;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        QVERIFY2(lines.RowBytes(row) == rows[row], where);
        QVERIFY2(lines.RowBegin(row) == begin, where);
        QVERIFY2(lines.RowEnd(row) == begin + rows[row].size(), where);
        QVERIFY2(lines.RowUnitsBegin(row) == unitsBegin, where);
        QVERIFY2(lines.RowUnits(row) == Units(rows[row]), where);
        begin += rows[row].size() + 1;
        unitsBegin += Units(rows[row]) + 1;
    }
    QVERIFY2(lines.Bytes(0, text.size()) == text, where);
    QVERIFY2(lines.Decode(0, text.size()) == QString::fromStdString(text), where);
}

}  // namespace

class TstTextPaneLines : public QObject {
    Q_OBJECT
  private slots:
    void sharedPrefixAndSuffixAtEveryOffset();
    void recordsCoverEveryOverlap();
    void columnsAreSharedWhenTheyStoreLess();
    void rowsDecodeExactlyAroundGroupEdges();
    void randomEditsMatchAListOfRows();
    void listingIsStoredCompactlyAndClearGivesItBack();
    void longRowsReplayFromANearbyWholeRow();
    void hugeRowIsNotKeptTwice();
};

void TstTextPaneLines::sharedPrefixAndSuffixAtEveryOffset() {
    // One differing byte at each offset, for lengths around the word size.
    for (std::size_t length = 0; length <= 27; ++length) {
        const std::string plain(length, 'q');
        QCOMPARE(SharedPrefix(plain, plain), length);
        QCOMPARE(SharedSuffix(plain, plain, length), length);
        QCOMPARE(SharedSuffix(plain, plain, length / 2), length / 2);
        for (std::size_t at = 0; at < length; ++at) {
            std::string other = plain;
            other[at] = '\xC3';
            QCOMPARE(SharedPrefix(plain, other), at);
            QCOMPARE(SharedPrefix(other, plain), at);
            QCOMPARE(SharedSuffix(plain, other, length), length - at - 1);
            QCOMPARE(SharedPrefix(plain, plain.substr(0, at)), at);
            QCOMPARE(SharedSuffix(plain, Cat({"x", plain.substr(at)}), length), length - at);
        }
    }
}

void TstTextPaneLines::recordsCoverEveryOverlap() {
    struct Case {
        std::string previous;
        std::string row;
        std::size_t prefix;
        std::size_t suffix;
    } const cases[] = {
        {"", "whole row", 0, 0},
        {"same row", "same row", 8, 0},
        {"/home/ann/docs/a.txt", "/home/ann/docs", 14, 0},  // a prefix of the previous
        {"/home/ann/docs", "/home/ann/docs/b.txt", 14, 0},  // the previous is its prefix
        {"12)-a.txt\tdocs\t/r/docs/", "13)-bb.txt\tdocs\t/r/docs/", 1, 18},
        {"abc", "", 0, 0},
        {"aXa", "aa", 1, 1},   // the shared parts may not overlap in the shorter row
        {"aa", "aXa", 1, 1},   // nor in the shorter previous row
        {"abab", "ab", 2, 0},  // prefix first; the suffix gets what is left
        {"\xC3\xA9t\xC3\xA9", "\xC3\xA8t\xC3\xA9", 1, 3},  // shares cut a character
        {"x\xF0\x9F\x98\x80", "x\xF0\x9F\x98\x81", 4, 0},
        {"\xE2\x82\xAC", "\xE2\x82\xAC\xE2\x82\xAC", 3, 0},
    };
    for (const Case& c : cases) {
        const QByteArray where = QByteArray::fromStdString(Cat({c.previous, " -> ", c.row}));
        RowRecord plan;
        QVERIFY2(RecordRoundTrip(c.previous, c.row, plan) == c.row, where);
        const RowPiece& whole = plan.piece[0];
        QVERIFY2(!plan.byColumn && whole.prefix == c.prefix && whole.suffix == c.suffix, where);
        QVERIFY2(whole.prefix + whole.suffix <= std::min(c.previous.size(), c.row.size()), where);
        QCOMPARE(plan.rowSize, c.row.size());
    }
    // Lengths that need two and three bytes of each number.
    const std::string longRow(20000, 'p');
    const std::string longer = Cat({longRow, std::string(300, 'm'), longRow});
    RowRecord plan;
    QVERIFY(RecordRoundTrip(Cat({longRow, longRow}), longer, plan) == longer);
    QCOMPARE(plan.piece[0].prefix, longRow.size());
    QCOMPARE(plan.piece[0].suffix, longRow.size());
    QCOMPARE(plan.header, std::size_t{3 + 3 + 2});
}

void TstTextPaneLines::columnsAreSharedWhenTheyStoreLess() {
    struct Case {
        std::string previous;
        std::string row;
        bool byColumn;
    } const cases[] = {
        // Another folder: each path column still shares its start.
        {"9)-old\ta/b/old\t/r/a/b/old", "10)-new\ta/b/new\t/r/a/b/new", true},
        {"a\tb", "x\ty\tz", false},           // other column counts
        {"\t\tsame", "x\t\tsame", false},     // empty columns
        {"abc\tdef\t", "xyz\tdeg\t", false},  // a trailing empty column
        {"1\t2\t3\t4\t5\t6\t7\t8\t9", "9\t8\t7\t6\t5\t4\t3\t2\t1", false},  // too many
        {"\tone\t", "\tone\t", false},
        {"x\tlong shared start one\tlong shared start one",
         "yy\tlong shared start two\tlong shared start two", true},
    };
    for (const Case& c : cases) {
        const QByteArray where = QByteArray::fromStdString(Cat({c.previous, " -> ", c.row}));
        RowRecord plan;
        QVERIFY2(RecordRoundTrip(c.previous, c.row, plan) == c.row, where);
        QVERIFY2(plan.byColumn == c.byColumn, where);
        QCOMPARE(plan.rowSize, c.row.size());
    }
    RowRecord plan;
    RecordRoundTrip(cases[0].previous, cases[0].row, plan);
    QCOMPARE(plan.pieces, std::size_t{3});
    QCOMPARE(plan.piece[1].prefix, std::size_t{4});
    QCOMPARE(plan.piece[2].prefix, std::size_t{7});
    QCOMPARE(plan.stored, std::size_t{7 + 3 + 3});
}

void TstTextPaneLines::rowsDecodeExactlyAroundGroupEdges() {
    // Rows sharing long starts and ends with their neighbours; every third one
    // equals the row before it, and each group's first row is stored whole.
    std::vector<std::string> rows;
    std::string text;
    for (std::size_t i = 0; i < 3 * kGroup + 5; ++i) {
        std::string row;
        if (i % 3 == 2)
            row = rows.back();
        else if (i % 7 == 6)
            row.clear();
        else
            row =
                Cat({"/srv/shared/folder ", Number(i / 5), "/f\xC3\xA9", Number(i), "\tsame tail"});
        rows.push_back(row);
        text += row + '\n';
    }
    TextPaneLines lines;
    lines.Append(text);
    CheckStore(lines, text, "in order");
    // Backwards and jumping across groups, so that every read restarts or
    // continues from a different row.
    for (std::size_t row = rows.size(); row-- > 0;) QCOMPARE(lines.RowBytes(row), rows[row]);
    for (const std::size_t row : {kGroup, kGroup - 1, 2 * kGroup + 1, std::size_t{0}, kGroup + 1,
                                  2 * kGroup - 1, 2 * kGroup, 3 * kGroup + 4})
        QCOMPARE(lines.RowBytes(row), rows[row]);
    QCOMPARE(lines.RowBytes(rows.size()), std::string_view());  // the open row
}

void TstTextPaneLines::randomEditsMatchAListOfRows() {
    // Pieces of one to four bytes, so that rows share parts that end inside a
    // character and random cuts fall between any two characters.
    const std::vector<std::string> tokens{
        "a", "b", "/", "dir", "\t", "7", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"};
    QRandomGenerator random(20240611);
    const auto pick = [&random](std::size_t n) {
        return static_cast<std::size_t>(random.bounded(static_cast<quint32>(n)));
    };
    std::vector<std::string> previousTokens;
    const auto nextRow = [&] {
        std::vector<std::string> row = previousTokens;
        switch (pick(6)) {
            case 0:  // the same row again
                break;
            case 1:  // a prefix of the previous row
                row.resize(row.empty() ? 0 : pick(row.size()));
                break;
            case 2:  // the previous row continued
                for (std::size_t n = pick(4) + 1; n > 0; --n) row.push_back(tokens[pick(9)]);
                break;
            case 3:  // one piece in the middle changed
                if (!row.empty()) row[pick(row.size())] = tokens[pick(9)];
                break;
            case 4:  // empty
                row.clear();
                break;
            default:  // fresh
                row.clear();
                for (std::size_t n = pick(12); n > 0; --n) row.push_back(tokens[pick(9)]);
        }
        previousTokens = row;
        std::string bytes;
        for (const std::string& token : row) bytes += token;
        return bytes;
    };

    TextPaneLines lines;
    std::string model;
    for (int step = 0; step < 400; ++step) {
        const QByteArray where = "step " + QByteArray::number(step);
        if (step % 13 == 12 && !model.empty()) {
            // Cut at a random character boundary, rows and groups included.
            std::size_t cut = pick(model.size() + 1);
            while (cut < model.size() && (static_cast<unsigned char>(model[cut]) & 0xC0) == 0x80)
                ++cut;
            lines.Truncate(cut);
            model.resize(cut);
        } else if (step % 11 == 5) {
            // Rows prepared apart, joined at the next group boundary.
            if (!model.empty() && model.back() != '\n') {
                lines.Append("\n");
                model += '\n';
            }
            TextPaneLines prepared;
            if (!lines.JoinsAfter(0)) {
                QVERIFY_THROWS_EXCEPTION(std::logic_error, lines.AppendPrepared(prepared));
            }
            for (int pad = 0; pad < 64 && !lines.JoinsAfter(0); ++pad) {
                const std::string row = nextRow() + '\n';
                lines.Append(row);
                model += row;
            }
            std::string batch;
            for (std::size_t n = pick(150); n > 0; --n) batch += nextRow() + '\n';
            if (pick(3) == 0) batch += nextRow();
            prepared.Append(batch);
            lines.AppendPrepared(prepared);
            model += batch;
            QCOMPARE(prepared.ByteSize(), std::uint64_t{0});
            QCOMPARE(prepared.RowCount(), std::size_t{1});
        } else {
            // A batch of rows, maybe leaving the last one open, appended in
            // pieces that split rows anywhere between characters.
            std::string batch;
            for (std::size_t n = pick(40) + 1; n > 0; --n) batch += nextRow() + '\n';
            if (pick(3) == 0) batch += nextRow();
            for (std::size_t at = 0; at < batch.size();) {
                std::size_t take = std::min(batch.size() - at, pick(60) + 1);
                while (at + take < batch.size() &&
                       (static_cast<unsigned char>(batch[at + take]) & 0xC0) == 0x80)
                    ++take;
                lines.Append(std::string_view(batch).substr(at, take));
                at += take;
            }
            model += batch;
        }
        if (step % 20 == 0 || step == 399) CheckStore(lines, model, where.constData());
        // Random positions and ranges, cut anywhere, surrogate pairs included.
        const std::vector<std::uint64_t> bytesAt = BytesAtUnits(model);
        const std::uint64_t units = bytesAt.size() - 1;
        for (int probe = 0; probe < 8; ++probe) {
            const auto position = static_cast<std::uint64_t>(pick(units + 2));
            for (const bool roundUp : {false, true}) {
                const std::uint64_t expected =
                    ExpectedByte(bytesAt, std::min(position, units), roundUp);
                QVERIFY2(lines.ByteOfUnit(position, roundUp) == expected, where);
            }
            const std::uint64_t byte = ExpectedByte(bytesAt, std::min(position, units), false);
            const std::size_t row = static_cast<std::size_t>(
                std::count(model.begin(), model.begin() + static_cast<std::ptrdiff_t>(byte), '\n'));
            QVERIFY2(lines.RowOfUnit(position) == row, where);
            const std::uint64_t end = byte + pick(300);
            QVERIFY2(lines.Bytes(byte, end) == model.substr(byte, end - byte), where);
        }
    }
}

void TstTextPaneLines::listingIsStoredCompactlyAndClearGivesItBack() {
    // The shapes a scan appends: full paths in one folder, and found lines
    // that end in the same folder's fields.
    TextPaneLines paths;
    TextPaneLines found;
    std::uint64_t textBytes = 0;
    for (std::size_t folder = 0; folder < 2000; ++folder) {
        const std::string rel = Cat({"projects/quorvel/build/area ", Number(folder)});
        for (std::size_t file = 0; file < 20; ++file) {
            const std::string name = Cat({"source file ", Number(file), ".cpp"});
            const std::string path = Cat({"/home/someone/", rel, "/", name, "\n"});
            const std::string line = Cat({Number(folder * 20 + file + 1), ")-", name, "\t", rel,
                                          "/\t/home/someone/", rel, "/\n"});
            paths.Append(path);
            found.Append(line);
            textBytes += path.size() + line.size();
        }
    }
    const std::size_t stored = paths.MemoryBytes() + found.MemoryBytes();
    QVERIFY2(stored * 4 < textBytes, QByteArray::number(qulonglong(stored)));
    QCOMPARE(found.RowBytes(12345), std::string_view("12346)-source file 5.cpp\tprojects/quorvel/"
                                                     "build/area 617/\t/home/someone/projects/"
                                                     "quorvel/build/area 617/"));
    paths.Clear();
    QVERIFY(paths.MemoryBytes() < 1024);
    QCOMPARE(paths.RowCount(), std::size_t{1});
    QCOMPARE(paths.ByteSize(), std::uint64_t{0});
}

void TstTextPaneLines::longRowsReplayFromANearbyWholeRow() {
    // Rows of 20 KB that differ in a few bytes: without a bound, reading the
    // last row of a group would replay over a megabyte. Every few rows one is
    // kept whole instead, which shows in the memory.
    const std::string body(20000, 'x');
    std::string text;
    for (std::size_t i = 0; i < 100; ++i) text += Cat({"row ", Number(i), " ", body, "\n"});
    TextPaneLines lines;
    lines.Append(text);
    const std::size_t stored = lines.MemoryBytes();
    QVERIFY2(stored > text.size() / 5 && stored < text.size() / 2,
             QByteArray::number(qulonglong(stored)));
    QRandomGenerator random(7);
    const std::vector<std::string> rows = SplitRows(text);
    for (int probe = 0; probe < 200; ++probe) {
        const auto row = static_cast<std::size_t>(random.bounded(101));
        QCOMPARE(lines.RowBytes(row), rows[row]);
    }
    // Cut inside a row and go on: the rows after the cut replay as before.
    const std::size_t cut = text.find("row 50 ") + 100;
    lines.Truncate(cut);
    text.resize(cut);
    for (std::size_t i = 0; i < 30; ++i) {
        const std::string row = Cat({"\nrow ", Number(i), " ", body});
        lines.Append(row);
        text += row;
    }
    CheckStore(lines, text, "after the cut");
}

void TstTextPaneLines::hugeRowIsNotKeptTwice() {
    const std::string huge = Cat({std::string(3 << 20, 'h'), "\xC3\xA9"});
    TextPaneLines lines;
    lines.Append(std::string_view(huge).substr(0, 1000));  // the open row, then the rest
    lines.Append(std::string_view(huge).substr(1000));
    lines.Append(Cat({"\nafter\n", huge, "\nlast"}));
    QVERIFY2(lines.MemoryBytes() < huge.size() * 5 / 2,
             QByteArray::number(qulonglong(lines.MemoryBytes())));
    CheckStore(lines, Cat({huge, "\nafter\n", huge, "\nlast"}), "huge rows");
    // Past 8 MiB the store takes 2 MiB blocks: rows land in them intact, and
    // at most the end of the last one is unused.
    std::string text = Cat({huge, "\nafter\n", huge, "\nlast\n", huge, "\n"});
    lines.Append(Cat({"\n", huge, "\n"}));
    for (int row = 0; row < 10000; ++row) text += Cat({"/in/a/large/block/", Number(row), "\n"});
    lines.Append(std::string_view(text).substr(lines.ByteSize()));
    CheckStore(lines, text, "large store");
    QVERIFY(lines.MemoryBytes() < text.size() + (3 << 20));
}

QTEST_APPLESS_MAIN(TstTextPaneLines)
#include "tst_textpanelines.moc"
