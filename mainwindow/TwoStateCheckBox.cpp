// SPDX-License-Identifier: MIT
#include "TwoStateCheckBox.h"

namespace quorvel {

void TwoStateCheckBox::nextCheckState() {
    setCheckState(checkState() == Qt::Unchecked ? Qt::Checked : Qt::Unchecked);
}

}  // namespace quorvel
