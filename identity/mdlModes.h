// SPDX-License-Identifier: MIT
#pragma once
// The product's identity, set in code rather than in the window design.

#include <QString>

namespace quorvel {

// Empty until InitProductInfo first runs; never changed afterwards.
extern QString gProductName;
extern QString gProductVersion;
// The title strip's colour as decimal text of a 0x00BBGGRR value.
extern QString gTitleColor;

// Fills the values above and the application title. Safe to call again: it
// assigns the same values.
void InitProductInfo();

// The application title: the product name, one blank, the version.
QString ApplicationTitle();

}  // namespace quorvel
