#pragma once

#include "shell/MessageBoxes.h"

class QWidget;

namespace vindel::windows {

// Message boxes as modal QMessageBox windows titled "Vindel", one OK button,
// with the program's icon. Given an owner (the status window), a box is
// modal to that window only, so that the tray icon's menu still opens while
// it is up; without one it is modal to the whole program.
class QtMessageBoxes : public shell::MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* owner = nullptr);

    void show(const QString& text, shell::MessageStyle style) override;

private:
    QWidget* m_owner;
};

} // namespace vindel::windows
