// SPDX-License-Identifier: MIT
#include "mdlSetFormIcon32.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QWindow>

#include "IconGroup.h"

namespace quorvel {

namespace {

// Owner chains are short; the cap only guards against a transient-parent
// loop, which Qt does not rule out, turning the walk into a hang.
constexpr int kMaxOwnerChain = 256;

// Error ignoring: a step that fails is abandoned and the next one runs.
template <typename Step>
void Attempt(Step&& step) noexcept {
    try {
        step();
    } catch (...) {
        // Swallowed on purpose: no step may fail the caller.
    }
}

QWidget* WidgetOf(const QWindow* window) {
    const QWidgetList topLevels = QApplication::topLevelWidgets();
    for (QWidget* candidate : topLevels) {
        if (candidate->windowHandle() == window) return candidate;
    }
    return nullptr;
}

// The window that owns `window`: its parent widget's window, or else the
// widget behind its transient parent. Only windows have owners; a child
// widget has a parent, which is not the same thing.
QWidget* OwnerOf(const QWidget* window) {
    if (!window->isWindow()) return nullptr;
    if (const QWidget* parent = window->parentWidget()) return parent->window();
    if (const QWindow* handle = window->windowHandle()) {
        if (const QWindow* transientParent = handle->transientParent()) {
            return WidgetOf(transientParent);
        }
    }
    return nullptr;
}

// Follows the owner chain to its end. A window without owner is its own
// topmost owner.
QWidget* TopmostOwner(QWidget* window) {
    QWidget* topOwner = window;
    QWidget* current = window;
    for (int step = 0; current && step < kMaxOwnerChain; ++step) {
        current = OwnerOf(current);
        if (current) topOwner = current;
    }
    return topOwner;
}

int IconExtent(const QWidget* window, QStyle::PixelMetric metric) {
    const QStyle* style = window ? window->style() : QApplication::style();
    return style ? style->pixelMetric(metric, nullptr, window) : 0;
}

int DisplayDepth(const QWidget* window) {
    const QScreen* screen = window ? window->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->depth() : 32;
}

// Puts `image` into the window's icon as the pixmap of `extent` pixels, in
// place of any pixmap of that size; a null image only removes that size.
// The other sizes stay, so that the big and the small icon live side by
// side in the one QIcon. An icon the window never had set explicitly is the
// application's, not the window's, and is not carried over.
void SendIcon(QWidget* window, int extent, const QPixmap& image) {
    if (!window) return;
    QIcon icon;
    if (window->testAttribute(Qt::WA_SetWindowIcon)) {
        const QIcon current = window->windowIcon();
        const QList<QSize> sizes = current.availableSizes();
        for (const QSize& size : sizes) {
            // The device pixel ratio of 1 returns the stored pixmap itself
            // instead of one rescaled for a high-density screen.
            if (size != QSize(extent, extent)) icon.addPixmap(current.pixmap(size, 1.0));
        }
    }
    if (!image.isNull()) icon.addPixmap(image);
    window->setWindowIcon(icon);
}

}  // namespace

void SetFormIcon(QWidget* hWndTarget, const QString& IconName, Flag IncludeTopOwner) noexcept {
    const bool includeTopOwner = IncludeTopOwner != kFalse;
    // Setting an icon sends events; should a handler delete either window,
    // the guards turn into null and the later steps skip it.
    const QPointer<QWidget> target(hWndTarget);
    QPointer<QWidget> topOwner(hWndTarget);
    int extent = 0;
    QPixmap bigIcon;
    QPixmap smallIcon;
    IconGroup group;

    if (includeTopOwner) Attempt([&] { topOwner = target ? TopmostOwner(target) : nullptr; });
    Attempt([&] { group = IconGroup::Load(IconName); });

    Attempt([&] { extent = IconExtent(target, QStyle::PM_LargeIconSize); });
    Attempt([&] { bigIcon = group.BestMatch(extent, DisplayDepth(target)); });
    if (includeTopOwner) Attempt([&] { SendIcon(topOwner, extent, bigIcon); });
    Attempt([&] { SendIcon(target, extent, bigIcon); });

    Attempt([&] { extent = IconExtent(target, QStyle::PM_SmallIconSize); });
    Attempt([&] { smallIcon = group.BestMatch(extent, DisplayDepth(target)); });
    if (includeTopOwner) Attempt([&] { SendIcon(topOwner, extent, smallIcon); });
    Attempt([&] { SendIcon(target, extent, smallIcon); });
}

}  // namespace quorvel
