#pragma once

#include <QDialog>

namespace vindel::shell {

// The program's dialogs: a fixed frame with a title and a close box only,
// carrying the program's icon, and centred on the whole screen by their
// outer size (frame and title bar included) the first time they are shown,
// never again.
class CentredDialog : public QDialog {
    Q_OBJECT
public:
    explicit CentredDialog(QWidget* parent = nullptr, Qt::WindowFlags extraFlags = {});

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    bool m_placed = false;
    bool m_frameKnown = false; // centred by the outer size already
};

} // namespace vindel::shell
