#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

class QWidget;

namespace vindel::test {

// Watches for a pop-up menu or a modal window that some call is about to run
// in a nested event loop, hands it to `examine`, then closes it so that the
// call returns. Gives up after a time limit, closing whatever pop-ups and
// dialogs are open, so that a test fails instead of hanging.
class ModalCatcher : public QObject {
    Q_OBJECT

public:
    enum class Kind { Popup, Modal };

    ModalCatcher(Kind kind, std::function<void(QWidget*)> examine, int limitMs = 5000);

    bool caught() const { return m_caught; }

private:
    void poll();

    Kind m_kind;
    std::function<void(QWidget*)> m_examine;
    QTimer m_poll;
    int m_pollsLeft;
    bool m_caught = false;
};

} // namespace vindel::test
