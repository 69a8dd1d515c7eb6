// SPDX-License-Identifier: MIT
#pragma once
// The images of one icon group that the program carries in its resources,
// under ":/icons/<name>/", every file there one image of the group.

#include <QImage>
#include <QPixmap>
#include <QString>
#include <vector>

namespace quorvel {

class IconGroup {
  public:
    // Reads every image of group `name`. A name that the resources do not hold,
    // or that is not a plain name (empty, or with a path separator), gives an
    // empty group rather than reaching into another part of the resources.
    static IconGroup Load(const QString& name);

    bool isEmpty() const { return images_.empty(); }

    // The group's image for a square icon of `extent` pixels on a display of
    // `displayDepth` bits, at exactly that size: the image of that size if
    // there is one, else the nearest larger one scaled down (sharper than
    // scaling up), else the largest scaled up; among equal sizes the deepest
    // image the display can show, else the shallowest. Null when the group is
    // empty or the extent is not a size an icon can have.
    QPixmap BestMatch(int extent, int displayDepth) const;

  private:
    std::vector<QImage> images_;
};

}  // namespace quorvel
