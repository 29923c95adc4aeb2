#pragma once

#include <QDialog>

namespace vindel::shell {

// The program's dialogs: a fixed frame with a title and a close box only,
// centred on the whole screen the first time they are shown (by then the
// frame's size is known on desktops that report it early), never again.
class CentredDialog : public QDialog {
    Q_OBJECT
public:
    explicit CentredDialog(QWidget* parent = nullptr, Qt::WindowFlags extraFlags = {});

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool m_placed = false;
};

} // namespace vindel::shell
