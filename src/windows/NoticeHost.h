#pragma once

#include "shell/AppControl.h"
#include "shell/NoticeView.h"
#include "windows/NotifyWindow.h"

#include <QPointer>

namespace vindel::windows {

// Holds the one shared notice window: the first notice creates, centres and
// shows it; later notices while it is open only replace its text; once it has
// closed, the next notice builds a fresh one. Given the status window, the
// notice belongs to it, so that the window manager always keeps the notice in
// front of it: both are centred while no place is stored, and both may be
// top-most.
class NoticeHost : public shell::NoticeView {
public:
    explicit NoticeHost(shell::AppControl& app, int lifetimeMs = NotifyWindow::defaultLifetimeMs,
                        QWidget* statusWindow = nullptr);
    ~NoticeHost() override;
    NoticeHost(const NoticeHost&) = delete;
    NoticeHost& operator=(const NoticeHost&) = delete;

    void showNotice(const QString& text) override;

private:
    void createWindow();

    shell::AppControl& m_app;
    int m_lifetimeMs;
    QPointer<QWidget> m_statusWindow;
    QPointer<NotifyWindow> m_window;
};

} // namespace vindel::windows
