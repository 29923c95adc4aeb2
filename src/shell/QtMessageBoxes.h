#pragma once

#include "shell/MessageBoxes.h"

namespace vindel::shell {

// Message boxes as modal QMessageBox windows titled "Vindel", one OK button.
class QtMessageBoxes : public MessageBoxes {
public:
    void show(const QString& text, MessageStyle style) override;
};

} // namespace vindel::shell
