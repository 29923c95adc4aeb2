#pragma once

#include "windows/CentredDialog.h"

#include <QTimer>

class QLabel;
class QPushButton;

namespace vindel::windows {

// The new-mail notice: a small top-most window with the result text and an
// OK button. It closes itself a fixed time after it was created; OK, Enter
// and the close box close it earlier. Closing destroys it.
class NotifyWindow : public CentredDialog {
    Q_OBJECT

public:
    static constexpr int defaultLifetimeMs = 5000;

    explicit NotifyWindow(int lifetimeMs = defaultLifetimeMs, QWidget* parent = nullptr);
    ~NotifyWindow() override;

    void setStatusText(const QString& text);
    // The whole text, as given (the label may show it shrunk or cut).
    QString statusText() const;

    // Hides the window, tells the owner it is gone and destroys it.
    void closeStep();

signals:
    // Emitted once, as the window closes: the owner must drop its reference.
    void released();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* m_status = nullptr;
    QString m_statusText;
    QPushButton* m_ok = nullptr;
    QTimer m_unload;
    bool m_closing = false;
};

} // namespace vindel::windows
