// SPDX-License-Identifier: MIT
// Window icons from the program's icon group "AAA": what the resource holds,
// which windows receive which icon and in what order, and the harmless
// failures (no owner, unknown name, null window).

#include <QDir>
#include <QImageReader>
#include <QStyle>
#include <QWidget>
#include <QWindow>
#include <QtTest>
#include <algorithm>

#include "IconGroup.h"
#include "mdlSetFormIcon32.h"

using quorvel::kFalse;
using quorvel::kTrue;
using quorvel::SetFormIcon;

namespace {

// The sizes in a window's own icon, smallest first, e.g. "16,32"; empty
// when the window has no icon of its own (it may still show an inherited one).
QString OwnIconSizes(const QWidget* window) {
    if (!window->testAttribute(Qt::WA_SetWindowIcon)) return {};
    QList<QSize> sizes = window->windowIcon().availableSizes();
    std::sort(sizes.begin(), sizes.end(),
              [](const QSize& a, const QSize& b) { return a.width() < b.width(); });
    QStringList parts;
    for (const QSize& size : sizes) {
        parts << (size.width() == size.height()
                      ? QString::number(size.width())
                      : QStringLiteral("%1x%2").arg(size.width()).arg(size.height()));
    }
    return parts.join(QLatin1Char(','));
}

// Every icon change of the watched windows, in order, as "name:sizes".
class IconChangeLog : public QObject {
  public:
    void Watch(QWidget* window) { window->installEventFilter(this); }
    QStringList entries;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WindowIconChange) {
            const auto* window = static_cast<QWidget*>(watched);
            entries << window->objectName() + QLatin1Char(':') + OwnIconSizes(window);
        }
        return false;
    }
};

bool HasPartialAlpha(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const int alpha = qAlpha(argb.pixel(x, y));
            if (alpha != 0 && alpha != 255) return true;
        }
    }
    return false;
}

}  // namespace

class TestSetFormIcon : public QObject {
    Q_OBJECT

  private:
    QString big_;   // the style's large icon size, as OwnIconSizes writes it
    QString both_;  // small and large together

  private slots:
    void initTestCase() {
        const int large = QApplication::style()->pixelMetric(QStyle::PM_LargeIconSize);
        const int small = QApplication::style()->pixelMetric(QStyle::PM_SmallIconSize);
        QVERIFY(small < large);
        big_ = QString::number(large);
        both_ = QStringLiteral("%1,%2").arg(small).arg(large);
    }

    void resourceHoldsTheEightImages() {
        const QDir group(QStringLiteral(":/icons/AAA"));
        QStringList found;
        const QStringList files = group.entryList(QDir::Files, QDir::Name);
        for (const QString& file : files) {
            QImageReader reader(group.filePath(file));
            const QImage image = reader.read();
            QVERIFY2(!image.isNull(), qPrintable(file + QLatin1Char(' ') + reader.errorString()));
            const bool palette = image.format() == QImage::Format_Indexed8;
            QVERIFY2(palette || image.format() == QImage::Format_ARGB32, qPrintable(file));
            if (palette) {
                // A 1-bit mask: every palette entry is fully opaque or fully clear.
                const QList<QRgb> table = image.colorTable();
                QVERIFY(std::all_of(table.begin(), table.end(),
                                    [](QRgb c) { return qAlpha(c) == 0 || qAlpha(c) == 255; }));
            } else {
                QVERIFY2(HasPartialAlpha(image), qPrintable(file));
            }
            found << QStringLiteral("%1x%2/%3")
                         .arg(image.width())
                         .arg(image.height())
                         .arg(image.depth());
        }
        found.sort();
        QCOMPARE(found, QStringList({"16x16/32", "16x16/8", "24x24/32", "24x24/8", "32x32/32",
                                     "32x32/8", "48x48/32", "48x48/8"}));
    }

    void ownerFlagClearGivesOnlyTheTarget() {
        QWidget owner;
        QWidget target(&owner, Qt::Window);
        owner.setObjectName("owner");
        target.setObjectName("target");
        IconChangeLog log;
        log.Watch(&owner);
        log.Watch(&target);
        SetFormIcon(&target, QStringLiteral("AAA"), kFalse);
        QCOMPARE(log.entries, QStringList({"target:" + big_, "target:" + both_}));
        QCOMPARE(OwnIconSizes(&owner), QString());
    }

    void ownerChainGivesOnlyTheTopmostOwner_data() {
        QTest::addColumn<qint16>("flag");
        QTest::newRow("true") << qint16{kTrue};
        QTest::newRow("any non-zero") << qint16{1};
    }
    void ownerChainGivesOnlyTheTopmostOwner() {
        QFETCH(qint16, flag);
        QWidget top;
        QWidget middle(&top, Qt::Window);
        QWidget target(&middle, Qt::Window);
        top.setObjectName("top");
        middle.setObjectName("middle");
        target.setObjectName("target");
        IconChangeLog log;
        for (QWidget* window : {&top, &middle, &target}) log.Watch(window);
        SetFormIcon(&target, QStringLiteral("AAA"), flag);
        // The owner gets each icon before the window; big before small.
        QCOMPARE(log.entries,
                 QStringList({"top:" + big_, "target:" + big_, "top:" + both_, "target:" + both_}));
        QCOMPARE(OwnIconSizes(&middle), QString());
    }

    void transientParentCountsAsOwner() {
        QWidget owner;
        QWidget target;
        owner.winId();  // the transient parent link lives on the native windows
        target.winId();
        target.windowHandle()->setTransientParent(owner.windowHandle());
        SetFormIcon(&target, QStringLiteral("AAA"), kTrue);
        QCOMPARE(OwnIconSizes(&owner), both_);
        QCOMPARE(OwnIconSizes(&target), both_);
    }

    void windowWithoutOwnerIsItsOwnTopOwner() {
        QWidget target;
        target.setObjectName("target");
        IconChangeLog log;
        log.Watch(&target);
        SetFormIcon(&target, QStringLiteral("AAA"), kTrue);
        QCOMPARE(log.entries, QStringList({"target:" + big_, "target:" + big_, "target:" + both_,
                                           "target:" + both_}));
    }

    void bigIconIsTheExactFullColourImage() {
        QWidget target;
        SetFormIcon(&target, QStringLiteral("AAA"), kTrue);
        const QImage expected(QStringLiteral(":/icons/AAA/AAA-%1-32bit.png").arg(big_));
        QVERIFY(!expected.isNull());
        const int extent = expected.width();
        const QImage shown = target.windowIcon().pixmap(QSize(extent, extent), 1.0).toImage();
        QCOMPARE(shown.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                 expected.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }

    void unknownNameLeavesNoIcon_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing") << QStringLiteral("NoSuchGroup");
        QTest::newRow("empty") << QString();
        QTest::newRow("path") << QStringLiteral("../icons/AAA");
    }
    void unknownNameLeavesNoIcon() {
        QFETCH(QString, name);
        QWidget fresh;
        SetFormIcon(&fresh, name, kTrue);
        QCOMPARE(OwnIconSizes(&fresh), QString());
        // Like a null icon handle, an unknown name takes away the sizes it
        // was asked for.
        QWidget iconed;
        SetFormIcon(&iconed, QStringLiteral("AAA"), kTrue);
        QCOMPARE(OwnIconSizes(&iconed), both_);
        SetFormIcon(&iconed, name, kTrue);
        QCOMPARE(OwnIconSizes(&iconed), QString());
    }

    void nullTargetDoesNothing() {
        SetFormIcon(nullptr, QStringLiteral("AAA"), kTrue);
        SetFormIcon(nullptr, QStringLiteral("AAA"), kFalse);
        QVERIFY(QApplication::windowIcon().isNull());
    }

    void bestMatchPicksSizeThenDepth() {
        const quorvel::IconGroup group = quorvel::IconGroup::Load(QStringLiteral("AAA"));
        QVERIFY(!group.isEmpty());
        // A palette display gets the 8-bit image with its hard mask.
        QVERIFY(!HasPartialAlpha(group.BestMatch(16, 8).toImage()));
        QVERIFY(HasPartialAlpha(group.BestMatch(16, 32).toImage()));
        QVERIFY(HasPartialAlpha(group.BestMatch(16, 24).toImage()));  // how X11 reports true colour
        // Sizes the group lacks are scaled to exactly what was asked.
        QCOMPARE(group.BestMatch(20, 32).size(), QSize(20, 20));
        QCOMPARE(group.BestMatch(64, 32).size(), QSize(64, 64));
        QVERIFY(group.BestMatch(0, 32).isNull());
        QVERIFY(group.BestMatch(-16, 32).isNull());
    }
};

QTEST_MAIN(TestSetFormIcon)
#include "tst_setformicon.moc"
