#pragma once

#include <QDialog>
#include <QTimer>

namespace vindel::windows {

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

private:
    void lookForFrame();

    bool m_placed = false;
    QTimer m_frameLook;
    int m_looksLeft = 0;
};

} // namespace vindel::windows
