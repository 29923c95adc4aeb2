#include "windows/StatusWindow.h"

#include "shell/PopChk.h"
#include "windows/Fonts.h"
#include "windows/Pictures.h"
#include "windows/ScreenUnits.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QWindow>

namespace vindel::windows {
namespace {

constexpr int checkButtonCount = 3; // indexes 0 to 2 are the state pictures

// A Wayland client cannot place its windows, nor learn where they are: the
// compositor does both.
bool compositorPlaces()
{
    return QGuiApplication::platformName().startsWith(u"wayland");
}
constexpr int mailerButton = 3;

QColor textColour(shell::TextColour colour)
{
    switch (colour) {
    case shell::TextColour::Red:
        return QColor(255, 0, 0);
    case shell::TextColour::Black:
        return QColor(0, 0, 0);
    case shell::TextColour::Blue:
        break;
    }
    return QColor(0, 0, 255);
}

} // namespace

StatusWindow::StatusWindow(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmPopChk"));
    setWindowTitle(QString());
    setFixedSize(twipsToPixels(2190), twipsToPixels(315));

    // The frame lies under the text; both pass the mouse on to the window's
    // body so that pressing them drags the window.
    m_frame = new QFrame(this);
    m_frame->setObjectName(QStringLiteral("imgFrame"));
    m_frame->setFrameStyle(QFrame::Box | QFrame::Plain);
    m_frame->setLineWidth(1);
    m_frame->setGeometry(twipsRect(600, 0, 1575, 315));
    m_frame->setAttribute(Qt::WA_TransparentForMouseEvents);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblStatus"));
    m_status->setAlignment(Qt::AlignCenter);
    // Counts come from the server: never read as markup.
    m_status->setTextFormat(Qt::PlainText);
    m_status->setFont(Fonts::sansSerif(8.25));
    m_status->setAttribute(Qt::WA_TransparentForMouseEvents);
    // Laid out over the frame, as the start-up has always done.
    m_status->setGeometry(twipsRect(600, 60, 1575, 195));
    setStatusColour(shell::TextColour::Blue);

    const QRect statePlace = twipsRect(30, 30, 240, 240);
    const QRect mailerPlace = twipsRect(330, 30, 240, 240);
    for (int index = 0; index < static_cast<int>(m_buttons.size()); ++index) {
        auto* button = new QLabel(this);
        button->setObjectName(QStringLiteral("imgBtn%1").arg(index));
        const QRect place = index == mailerButton ? mailerPlace : statePlace;
        const QIcon icon = index == mailerButton ? Pictures::mailer()
                                                 : Pictures::state(static_cast<shell::StatePicture>(index));
        button->setGeometry(place);
        button->setPixmap(icon.pixmap(place.size()));
        button->setScaledContents(true);
        button->installEventFilter(this);
        m_buttons[static_cast<std::size_t>(index)] = button;
    }
    m_buttons[0]->setToolTip(QStringLiteral("Check Now!"));
    m_buttons[1]->setToolTip(QStringLiteral("Check Now!"));
    m_buttons[mailerButton]->setToolTip(QStringLiteral("Launch Mailer"));
    showStatePicture(shell::StatePicture::Normal);

    connect(m_menu.visibleAction(), &QAction::triggered, this, &StatusWindow::toggleVisible);
}

StatusWindow::~StatusWindow() = default;

void StatusWindow::setBehaviour(shell::PopChk* popChk)
{
    m_popChk = popChk;
    m_menu.setBehaviour(popChk);
}

void StatusWindow::toggleVisible()
{
    if (isVisible()) {
        m_menu.visibleAction()->setText(MainMenu::showCaption());
        hide();
    } else {
        m_menu.visibleAction()->setText(MainMenu::hideCaption());
        show();
    }
}

void StatusWindow::setStatusText(const QString& text)
{
    m_statusText = text;
    Fonts::showFitted(*m_status, Fonts::sansSerif(8.25), text);
}

QString StatusWindow::statusText() const
{
    return m_statusText;
}

void StatusWindow::setStatusColour(shell::TextColour colour)
{
    QPalette palette = m_status->palette();
    palette.setColor(QPalette::WindowText, textColour(colour));
    m_status->setPalette(palette);
}

void StatusWindow::refreshStatus()
{
    m_status->repaint();
}

void StatusWindow::showStatePicture(shell::StatePicture picture)
{
    for (int index = 0; index < checkButtonCount; ++index)
        m_buttons[static_cast<std::size_t>(index)]->setVisible(index == static_cast<int>(picture));
}

void StatusWindow::setWindowIcon(shell::StatePicture picture)
{
    QWidget::setWindowIcon(Pictures::state(picture));
}

void StatusWindow::setSettingsEntryEnabled(bool enabled)
{
    m_menu.settingsAction()->setEnabled(enabled);
}

settings::WindowPlacement StatusWindow::placement() const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize screenSize = screen ? screen->geometry().size() : QSize(0, 0);
    return {.windowWidth = pixelsToTwips(frameGeometry().width()),
            .windowHeight = pixelsToTwips(frameGeometry().height()),
            .screenWidth = pixelsToTwips(screenSize.width()),
            .screenHeight = pixelsToTwips(screenSize.height())};
}

// Where the compositor places the window, the program reports the place the
// settings asked for, so that saving them keeps the stored place instead of
// the compositor's unknown one.
QPoint StatusWindow::place() const
{
    return compositorPlaces() ? m_place : pos();
}

int StatusWindow::leftTwips() const
{
    return pixelsToTwips(place().x());
}

int StatusWindow::topTwips() const
{
    return pixelsToTwips(place().y());
}

void StatusWindow::setLeftTwips(int left)
{
    m_place = QPoint(twipsToPixels(left), place().y());
    move(m_place);
    m_placed = true;
}

void StatusWindow::setTopTwips(int top)
{
    m_place = QPoint(place().x(), twipsToPixels(top));
    move(m_place);
    m_placed = true;
}

void StatusWindow::setTopMost(bool topMost)
{
    // Loading the settings places the window and then calls this. A stored
    // place kept within the screen's size may still leave only a sliver in
    // view (or none, on a smaller screen or one that has gone): the window
    // is moved wholly onto a screen before it shows. A drag is left alone.
    if (m_placed) {
        m_placed = false;
        moveOntoScreen(*this);
    }
    // Changing the flags hides a window, and the program relies on this call
    // showing it in any case.
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) != topMost)
        setWindowFlag(Qt::WindowStaysOnTopHint, topMost);
    show();
    m_menu.formTopAction()->setChecked(topMost);
}

void StatusWindow::closeEvent(QCloseEvent* event)
{
    // Closing the main window (the window manager's close, Alt+F4) ends the
    // program as the Exit command does: position and settings saved. The
    // window itself stays until the program has ended.
    if (!m_popChk) {
        QWidget::closeEvent(event);
        return;
    }
    event->ignore();
    m_popChk->exitProgram();
}

bool StatusWindow::eventFilter(QObject* watched, QEvent* event)
{
    for (int index = 0; index < static_cast<int>(m_buttons.size()); ++index) {
        if (watched != m_buttons[static_cast<std::size_t>(index)])
            continue;
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            pressButton(index, mouse->button(), mouse->globalPosition().toPoint());
            return true;
        }
        // The second press of a double click must not run a command twice
        // (two mail programs), and no press on a button moves the window.
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseMove:
            return true;
        default:
            return false;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void StatusWindow::pressButton(int index, Qt::MouseButton button, const QPoint& globalPos)
{
    if (button == Qt::RightButton) {
        openMenu(globalPos);
        return;
    }
    if (button != Qt::LeftButton || !m_popChk)
        return;
    if (index == mailerButton)
        m_popChk->launchMailer();
    else
        m_popChk->checkNow();
}

void StatusWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        // On Wayland the compositor moves the window; where it ends up is
        // the compositor's to know, so there is no new place to store.
        if (compositorPlaces() && windowHandle() && windowHandle()->startSystemMove()) {
            event->accept();
            return;
        }
        m_dragging = true;
        m_pressGlobal = event->globalPosition();
        m_windowAtPress = pos();
    } else if (event->button() == Qt::RightButton) {
        openMenu(event->globalPosition().toPoint());
    }
    event->accept();
}

void StatusWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging && event->buttons().testFlag(Qt::LeftButton))
        move(m_windowAtPress + (event->globalPosition() - m_pressGlobal).toPoint());
    event->accept();
}

void StatusWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_dragging && event->button() == Qt::LeftButton) {
        m_dragging = false;
        // The drop is stored at once, also when the window did not move.
        if (m_popChk)
            m_popChk->windowMoved(leftTwips(), topTwips());
    }
    event->accept();
}

void StatusWindow::openMenu(const QPoint& globalPos)
{
    m_dragging = false;
    if (m_popChk)
        m_menu.applyState(m_popChk->windowMenuState());
    m_menu.menu().exec(globalPos);
}

} // namespace vindel::windows
