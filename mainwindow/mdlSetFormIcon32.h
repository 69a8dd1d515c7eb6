// SPDX-License-Identifier: MIT
#pragma once
// Window icons from an icon group that the program carries in its resources.

#include <QString>

#include <quorvel/BasicTypes.h>

class QWidget;

namespace quorvel {

// Gives the window hWndTarget the big and the small image of icon group
// IconName, at the sizes its style asks for (large and small icon size);
// when IncludeTopOwner is non-zero, the window's topmost owner gets each
// image first. A Qt window carries one QIcon, so each image becomes the
// pixmap of its size in that window's icon, replacing the one it had there;
// an image the group cannot give leaves the window without that size.
//
// Every step that fails is skipped and the next one runs; the call never
// throws. A null target, an unknown name or a window without owner are all
// harmless.
void SetFormIcon(QWidget* hWndTarget, const QString& IconName, Flag IncludeTopOwner) noexcept;

}  // namespace quorvel
