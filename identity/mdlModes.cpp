// SPDX-License-Identifier: MIT
#include "mdlModes.h"

#include <QCoreApplication>

#include "QuorvelVersion.h"

namespace quorvel {

QString gProductName;
QString gProductVersion;
QString gTitleColor;

void InitProductInfo() {
    gProductName = QStringLiteral("Quorvel");
    gProductVersion = QStringLiteral(QUORVEL_PRODUCT_VERSION);
    // The application object's name and version make up the application
    // title. Not the display name: Qt appends that to every window caption
    // on Linux, and the caption must read the product name alone.
    QCoreApplication::setApplicationName(gProductName);
    QCoreApplication::setApplicationVersion(gProductVersion);
    gTitleColor = QStringLiteral("12098443");
}

QString ApplicationTitle() {
    return QCoreApplication::applicationName() + QLatin1Char(' ') +
           QCoreApplication::applicationVersion();
}

}  // namespace quorvel
