#pragma once

#include "settings/WindowPlacement.h"
#include "shell/Commands.h"
#include "shell/StatusView.h"
#include "windows/MainMenu.h"

#include <QPoint>
#include <QPointF>
#include <QWidget>

#include <array>

class QFrame;
class QLabel;

namespace vindel::windows {

// The small borderless status strip: three stacked state pictures (one
// visible), the mail-program button and the framed status text. Dragging its
// body moves it; a right press anywhere opens the program's menu.
class StatusWindow : public QWidget, public shell::StatusView, public settings::WindowPlacement {
    Q_OBJECT

public:
    explicit StatusWindow(QWidget* parent = nullptr);
    ~StatusWindow() override;

    // The behaviour is created after the window; until then presses do nothing.
    void setCommands(shell::Commands* commands);
    MainMenu& menu() { return m_menu; }

    // The show/hide entry: hides a shown window and shows a hidden one,
    // swapping the entry's caption.
    void toggleVisible();
    // The label's current text, whole (the label may show it shrunk or cut).
    QString statusText() const;

    void setStatusText(const QString& text) override;
    void setStatusColour(shell::TextColour colour) override;
    void refreshStatus() override;
    void showStatePicture(shell::StatePicture picture) override;
    using QWidget::setWindowIcon;
    void setWindowIcon(shell::StatePicture picture) override;
    void setSettingsEntryEnabled(bool enabled) override;

    int windowWidthTwips() const override;
    int windowHeightTwips() const override;
    int screenWidthTwips() const override;
    int screenHeightTwips() const override;
    int leftTwips() const override;
    int topTwips() const override;
    void setLeftTwips(int left) override;
    void setTopTwips(int top) override;
    void setTopMost(bool topMost) override;
    void setFormTopChecked(bool checked) override;
    bool isFormTopChecked() const override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void pressButton(int index, Qt::MouseButton button, const QPoint& globalPos);
    void openMenu(const QPoint& globalPos);
    QPoint place() const;

    MainMenu m_menu;
    shell::Commands* m_commands = nullptr;
    std::array<QLabel*, 4> m_buttons{};
    QFrame* m_frame = nullptr;
    QLabel* m_status = nullptr;
    QString m_statusText;
    QPoint m_place;        // the place last asked for
    bool m_placed = false; // placed by the settings, not yet checked against the screens
    bool m_dragging = false;
    QPointF m_pressGlobal;
    QPoint m_windowAtPress;
};

} // namespace vindel::windows
