#pragma once

#include "settings/WindowPlacement.h"
#include "shell/Desktop.h"
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
class StatusWindow : public QWidget {
    Q_OBJECT

public:
    explicit StatusWindow(QWidget* parent = nullptr);
    ~StatusWindow() override;

    // The behaviour is created after the window; until then presses do nothing.
    void setBehaviour(shell::PopChk* popChk);
    MainMenu& menu() { return m_menu; }

    // The show/hide entry: hides a shown window and shows a hidden one,
    // swapping the entry's caption.
    void toggleVisible();
    // The label's current text, whole (the label may show it shrunk or cut).
    QString statusText() const;

    void setStatusText(const QString& text);
    void setStatusColour(shell::TextColour colour);
    void refreshStatus();
    void showStatePicture(shell::StatePicture picture);
    using QWidget::setWindowIcon;
    void setWindowIcon(shell::StatePicture picture);
    void setSettingsEntryEnabled(bool enabled);

    // The window's and the screen's sizes, in twips.
    settings::WindowPlacement placement() const;
    int leftTwips() const;
    int topTwips() const;
    void setLeftTwips(int left);
    void setTopTwips(int top);
    // Into or out of the top-most band, shown in any case; the menu's check
    // mark follows.
    void setTopMost(bool topMost);

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
    shell::PopChk* m_popChk = nullptr;
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
