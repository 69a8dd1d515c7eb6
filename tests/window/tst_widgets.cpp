// SPDX-License-Identifier: MIT
// The window's own pieces: the folder list, how names are shown, and the
// time-sliced yield.

#include <QAccessible>
#include <QSignalSpy>
#include <QtTest>

#include "EventLoopYield.h"
#include "FolderListModel.h"
#include "ShownText.h"
#include "StartFolder.h"
#include "WindowTestSupport.h"

using namespace quorvel;
using namespace quorvel::testing;

namespace {

std::string Shown(std::string_view bytes) {
    std::string out;
    AppendShown(out, bytes);
    return out;
}

// Reads a shown name back into its bytes: \\ \n \t \r, \xNN (a byte),
// \uNNNN (a character); a backslash before anything else is itself.
std::string DecodeShown(const std::string& shown) {
    std::string bytes;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const std::size_t kind =
            std::string("\\ntrxu").find(i + 1 < shown.size() ? shown[i + 1] : '\0');
        if (shown[i] != '\\' || kind == std::string::npos) {
            bytes += shown[i];
            continue;
        }
        const std::size_t digits = kind == 4 ? 2 : kind == 5 ? 4 : 0;
        const auto value =
            char16_t(QByteArray::fromStdString(shown.substr(i + 2, digits)).toUInt(nullptr, 16));
        bytes += kind < 4    ? std::string(1, "\\\n\t\r"[kind])
                 : kind == 4 ? std::string(1, char(value))
                             : QString(QChar(value)).toStdString();
        i += 1 + digits;
    }
    return bytes;
}

QStringList ItemTexts(const FolderList& list) {
    QStringList texts;
    for (int i = 0; i < list.model()->rowCount(); ++i)
        texts << list.model()->index(i, 0).data().toString();
    return texts;
}

int Level(const FolderList& list, int row) {
    return list.model()->index(row, 0).data(FolderListModel::kLevelRole).toInt();
}

}  // namespace

class WidgetsTest : public QObject {
    Q_OBJECT

  private slots:
    void shownText();
    void folderListShowsChainThenSubfolders();
    void folderListKeepsBytes();
    void folderListOpens();
    void folderListRelativeAndRoot();
    void yieldIsTimeSliced();
};

void WidgetsTest::shownText() {
    QCOMPARE(Shown("plain name.txt"), std::string("plain name.txt"));
    QCOMPARE(Shown("a\nb\tc\rd"), std::string("a\\nb\\tc\\rd"));
    QCOMPARE(Shown(std::string_view("nul\0bell\a\x1b\x7f", 11)),
             std::string("nul\\x00bell\\x07\\x1B\\x7F"));
    // A backslash shows as it is unless it would read as an escape.
    QCOMPARE(Shown("back\\slash\\"), std::string("back\\slash\\"));
    QCOMPARE(Shown("\\n\\\n"), std::string("\\\\n\\\\\\n"));
    // Well-formed UTF-8 stays; C1 controls, line separators and the controls
    // that reorder a line are escaped.
    QCOMPARE(Shown("gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x98\x80"),
             std::string("gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x98\x80"));
    QCOMPARE(Shown("x\xC2\x85y\xE2\x80\xA8z"), std::string("x\\u0085y\\u2028z"));
    QCOMPARE(Shown("a\xE2\x80\xAEtxt.exe\xE2\x81\xA6\xD8\x9C\xE2\x80\x8F"),
             std::string("a\\u202Etxt.exe\\u2066\\u061C\\u200F"));
    // Each byte that starts no well-formed sequence shows as its value.
    QCOMPARE(Shown("\xC0\xAF"), std::string("\\xC0\\xAF"));                    // overlong
    QCOMPARE(Shown("\xED\xA0\x80"), std::string("\\xED\\xA0\\x80"));           // surrogate
    QCOMPARE(Shown("\xE2\x82"), std::string("\\xE2\\x82"));                    // cut short
    QCOMPARE(Shown("\xF4\x90\x80\x80"), std::string("\\xF4\\x90\\x80\\x80"));  // past U+10FFFF
    QCOMPARE(ShownText("a\xFF\n"), QStringLiteral("a\\xFF\\n"));

    // Unambiguous: the shown form decodes back to the bytes, for every name
    // of up to four pieces that mix letters with backslashes, escape letters,
    // controls and broken, well-formed or bidirectional UTF-8; and it is
    // well-formed UTF-8 without a control or bidirectional character.
    const std::string_view pieces[] = {
        "",     "a",        "\\",           "n",           "x", "u", "F", "\n", "\x85",
        "\xC3", "\xC2\x85", "\xE2\x80\xAE", "\xEF\xBF\xBD"};
    for (int n = 0; n < 13 * 13 * 13 * 13; ++n) {
        std::string name;
        for (int k = n; k > 0; k /= 13) name.append(pieces[k % 13]);
        const std::string shown = Shown(name);
        const QString text = QString::fromUtf8(shown);
        QVERIFY2(DecodeShown(shown) == name && text.toStdString() == shown, shown.c_str());
        for (const QChar c : text) {
            QVERIFY2(c.category() != QChar::Other_Control && c.category() != QChar::Other_Format &&
                         c != QChar::LineSeparator,
                     shown.c_str());
        }
    }

    // The word-at-a-time copy of plain runs against byte by byte: one odd
    // character at every offset of a plain text, for every length around a
    // few words, so that it falls in each lane, at a word's edge and in the
    // tail after the last whole word.
    const std::pair<std::string, std::string> odd[] = {
        {std::string(1, '\0'), "\\x00"},
        {"\x1F", "\\x1F"},
        {"\n", "\\n"},
        {"\x7F", "\\x7F"},
        {"\x80", "\\x80"},  // a continuation byte alone
        {"\xFF", "\\xFF"},
        {"\xC3\xA9", "\xC3\xA9"},
        {"\xC2\x85", "\\u0085"},  // C1 control
        {"\xE2\x82\xAC", "\xE2\x82\xAC"},
        {"\xE2\x80\xAE", "\\u202E"},  // right-to-left override
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
        {"\\", "\\"},  // before a letter that is no escape
    };
    for (std::size_t length = 0; length <= 27; ++length) {
        std::string plain;
        for (std::size_t i = 0; i < length; ++i) plain.push_back(static_cast<char>('a' + i % 13));
        QCOMPARE(Shown(plain), plain);
        for (const auto& [bytes, shown] : odd) {
            for (std::size_t at = 0; at <= length; ++at) {
                const std::string where =
                    "length " + std::to_string(length) + ", at " + std::to_string(at);
                QVERIFY2(Shown(plain.substr(0, at) + bytes + plain.substr(at)) ==
                             plain.substr(0, at) + shown + plain.substr(at),
                         where.c_str());
            }
        }
    }
}

void WidgetsTest::folderListShowsChainThenSubfolders() {
    TempTree tree;
    // Equal but for case: in byte order. Accented: beside the plain letter.
    for (const char* name : {"beta", "alpha", "Alpha", "item10", "item9", "gamma",
                             "\xC3\x89"
                             "clair"})
        tree.Folder(name);
    tree.File("zzz-file");
    FolderList list;
    list.Start(SystemDirectoryReader(), tree.Root());

    QStringList expected{"/"};
    const QStringList parts = QString::fromStdString(tree.Root()).split('/', Qt::SkipEmptyParts);
    expected += parts;
    const int depth = int(parts.size());
    // The chain at once, a greyed row that cannot be opened in place of the
    // subfolders until they have been read.
    QCOMPARE(ItemTexts(list), expected + QStringList{QStringLiteral("reading\u2026")});
    QCOMPARE(list.currentIndex().row(), depth);
    QCOMPARE(list.model()->flags(list.model()->index(depth + 1, 0)), Qt::NoItemFlags);
    QCOMPARE(list.ItemPath(depth + 1), std::string());
    QSignalSpy listed(&list, &FolderList::Listed);
    QVERIFY(WaitForListing(list));
    QCOMPARE(listed.count(), 1);
    expected += QStringList{"Alpha", "alpha", "beta",  QStringLiteral("\u00C9clair"),
                            "gamma", "item9", "item10"};
    QCOMPARE(ItemTexts(list), expected);
    // Indented one step per level; the open folder is the selected item.
    QCOMPARE(Level(list, 0), 0);
    QCOMPARE(Level(list, depth), depth);
    QCOMPARE(Level(list, depth + 1), depth + 1);
    QCOMPARE(Level(list, depth + 7), depth + 1);
    QCOMPARE(list.currentIndex().row(), depth);
    QVERIFY(list.selectionModel()->isRowSelected(depth, {}));
    QCOMPARE(list.ItemPath(depth + 1), tree.Path("Alpha"));
    QCOMPARE(list.ItemPath(depth + 7), tree.Path("item10"));
    QCOMPARE(list.ItemPath(depth), tree.Root());
    QCOMPARE(list.ItemPath(0), std::string("/"));
    QCOMPARE(list.ItemPath(depth + 8), std::string());
    // One icon per kind, shared by every row of that kind.
    const auto icon = [&list](int row) {
        return list.model()->index(row, 0).data(Qt::DecorationRole).value<QIcon>();
    };
    QCOMPARE(icon(depth + 1).cacheKey(), icon(depth + 7).cacheKey());
    QCOMPARE(icon(0).cacheKey(), icon(depth).cacheKey());
    QVERIFY(icon(0).cacheKey() != icon(depth + 1).cacheKey());
    // What a screen reader says for a row is what the row shows.
    QAccessibleInterface* view = QAccessible::queryAccessibleInterface(&list);
    QVERIFY(view && view->childCount() == list.model()->rowCount());
    QCOMPARE(view->child(depth + 1)->text(QAccessible::Name), QStringLiteral("Alpha"));
}

void WidgetsTest::folderListKeepsBytes() {
    TempTree tree;
    tree.Folder("caf\xE9");  // Latin-1, not UTF-8
    tree.Folder("two\nlines");
    tree.Folder(".hidden");
    tree.Link("link", tree.Path(".hidden"));
    FolderList list;
    list.Start(SystemDirectoryReader(), tree.Root() + "/");
    QCOMPARE(list.Path(), tree.Root());
    QVERIFY(WaitForListing(list));

    QStringList subfolders = ItemTexts(list).mid(list.currentIndex().row() + 1);
    subfolders.sort();
    QCOMPARE(subfolders,
             (QStringList{".hidden", QStringLiteral("caf\\xE9"), "link", "two\\nlines"}));
    QSignalSpy changes(&list, &FolderList::Change);
    for (int i = list.currentIndex().row() + 1; i < list.model()->rowCount(); ++i) {
        const QModelIndex index = list.model()->index(i, 0);
        if (index.data().toString() == QStringLiteral("caf\\xE9")) emit list.doubleClicked(index);
    }
    QCOMPARE(changes.count(), 1);
    QCOMPARE(list.Path(), tree.Path("caf\xE9"));
}

void WidgetsTest::folderListOpens() {
    TempTree tree;
    tree.Folder("one/two");
    FolderList list;
    list.Start(SystemDirectoryReader(), tree.Root());
    QSignalSpy changes(&list, &FolderList::Change);
    list.resize(400, 600);
    list.show();
    QVERIFY(WaitForListing(list));

    // Enter on a subfolder opens it.
    const auto last = [&list] { return list.model()->index(list.model()->rowCount() - 1, 0); };
    list.setCurrentIndex(last());
    QTest::keyClick(&list, Qt::Key_Return);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(list.Path(), tree.Path("one"));
    QVERIFY(WaitForListing(list));
    QCOMPARE(last().data().toString(), QStringLiteral("two"));

    // Double click on an entry of the chain goes back up.
    const int parentRow = list.currentIndex().row() - 1;
    const QRect rect = list.visualRect(list.model()->index(parentRow, 0));
    // As a double click arrives: press, release, then the double-click press.
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(changes.count(), 2);
    QCOMPARE(list.Path(), tree.Root());

    // Opening the current folder again is no change.
    list.SetPath(tree.Root() + "/");
    QCOMPARE(changes.count(), 2);
}

void WidgetsTest::folderListRelativeAndRoot() {
    FolderList list;
    list.Start(SystemDirectoryReader(), "/");
    QCOMPARE(list.Path(), std::string("/"));
    QVERIFY(WaitForListing(list));
    QCOMPARE(ItemTexts(list).value(0), QStringLiteral("/"));
    QCOMPARE(list.currentIndex().row(), 0);
    QVERIFY(list.model()->rowCount() > 1);  // the root always has folders
    QCOMPARE(list.ItemPath(1).rfind('/'), std::size_t(0));

    list.Start(SystemDirectoryReader(), "");
    QCOMPARE(list.Path(), CurrentDirectory());
}

void WidgetsTest::yieldIsTimeSliced() {
    constexpr qint64 slice = EventLoopYield::kSliceMs;
    qint64 now = 1000;
    EventLoopYield yield([&now] { return now; });
    int delivered = 0;
    const auto post = [&delivered] { QTimer::singleShot(0, [&delivered] { ++delivered; }); };
    post();
    yield();  // the first always runs the loop
    QCOMPARE(delivered, 1);

    post();
    now += slice - 1;
    yield();
    QCOMPARE(delivered, 1);
    // Once a slice has passed, the next yield runs the loop again.
    now += 1;
    yield();
    QCOMPARE(delivered, 2);

    // A slice counts from the end of the last run: a handler that took two
    // slices does not make the next yield come sooner.
    post();
    QTimer::singleShot(0, [&now] { now += 2 * slice; });
    now += slice;
    yield();
    QCOMPARE(delivered, 3);
    post();
    now += slice - 1;
    yield();
    QCOMPARE(delivered, 3);
    now += 1;
    yield();
    QCOMPARE(delivered, 4);
}

QTEST_MAIN(WidgetsTest)
#include "tst_widgets.moc"
