// SPDX-License-Identifier: MIT
#include "IconGroup.h"

#include <QDir>
#include <QImageReader>
#include <algorithm>
#include <tuple>

namespace quorvel {

namespace {

// A group is a handful of images; the caps keep a malformed resource or an
// absurd size from costing more than a moment.
constexpr qsizetype kMaxImagesPerGroup = 64;
constexpr int kMaxExtent = 1024;
// Added to a rank that falls on the wrong side, so that it loses to every
// rank on the right side.
constexpr int kWrongSide = 1 << 16;

bool IsPlainName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) &&
           !name.contains(QChar(u'\0'));
}

// Lower ranks are better. An exact size beats any other; a larger image,
// scaled down, beats a smaller one scaled up.
int SizeRank(int side, int extent) {
    if (side == extent) return 0;
    if (side > extent) return side - extent;
    return kWrongSide + (extent - side);
}

// X11 reports a true-colour screen as 24 bits, yet shows 32-bit icons with
// their alpha; such a screen counts as 32 bits, so that it gets the smooth
// image and not the hard-edged palette one.
int DepthRank(int depth, int displayDepth) {
    constexpr int kTrueColour = 24;
    constexpr int kWithAlpha = 32;
    const int usable =
        displayDepth >= kTrueColour ? std::max(displayDepth, kWithAlpha) : displayDepth;
    if (depth <= usable) return usable - depth;
    return kWrongSide + depth;
}

}  // namespace

IconGroup IconGroup::Load(const QString& name) {
    IconGroup group;
    if (!IsPlainName(name)) return group;
    const QDir folder(QStringLiteral(":/icons/") + name);
    const QStringList files = folder.entryList(QDir::Files, QDir::Name);
    for (qsizetype i = 0; i < files.size() && i < kMaxImagesPerGroup; ++i) {
        QImageReader reader(folder.filePath(files.at(i)));
        QImage image = reader.read();
        if (!image.isNull() && image.width() == image.height()) {
            group.images_.push_back(std::move(image));
        }
    }
    return group;
}

QPixmap IconGroup::BestMatch(int extent, int displayDepth) const {
    if (images_.empty() || extent <= 0 || extent > kMaxExtent) return {};
    const auto rank = [&](const QImage& image) {
        return std::tuple(SizeRank(image.width(), extent), DepthRank(image.depth(), displayDepth));
    };
    const auto best =
        std::min_element(images_.begin(), images_.end(),
                         [&](const QImage& a, const QImage& b) { return rank(a) < rank(b); });
    if (best->width() == extent) return QPixmap::fromImage(*best);
    return QPixmap::fromImage(
        best->scaled(extent, extent, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

}  // namespace quorvel
