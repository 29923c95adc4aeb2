#pragma once

#include "settings/ConfigRecord.h"
#include "shell/Desktop.h"
#include "windows/CentredDialog.h"

class QLabel;
class QPushButton;

namespace vindel::windows {

// The program's information window: name, version, a short description, the
// copyright line and two links (the homepage, and the contact address, which
// starts the user's mail program). OK, Enter and Escape close it. While a
// modal dialog or message box is up, it takes no input.
class AboutWindow : public CentredDialog {
    Q_OBJECT

public:
    AboutWindow(const settings::Globals& globals, shell::Desktop& desktop, QWidget* parent = nullptr);
    ~AboutWindow() override;

    static QString captionText();
    static QString versionText();
    static QString descriptionText();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* addLabel(const char* name, const QString& text, const QRect& place);
    bool heldByModalDialog(const QEvent& event) const;

    const settings::Globals& m_globals;
    shell::Desktop& m_desktop;
    QLabel* m_mailAddress = nullptr;
    QLabel* m_homepage = nullptr;
};

} // namespace vindel::windows
