// SPDX-License-Identifier: MIT
#pragma once

#include <QCheckBox>

namespace quorvel {

// A check box that a click, the space bar or an accessibility client's press
// or toggle ticks or clears, and nothing else. Greyed is a value the program
// may set (setCheckState), and it reads as set; a click on it clears it, as on
// a tick.
//
// QCheckBox alone cannot do this: setting greyed from code turns on its
// tristate mode for good, and from then on clicks cycle through greyed too.
class TwoStateCheckBox : public QCheckBox {
    Q_OBJECT

  public:
    using QCheckBox::QCheckBox;

  protected:
    void nextCheckState() override;
};

}  // namespace quorvel
