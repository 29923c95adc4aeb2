#pragma once

#include "settings/ConfigForm.h"
#include "settings/ConfigRecord.h"
#include "settings/ConfigStore.h"
#include "shell/Desktop.h"
#include "windows/CentredDialog.h"

#include <QStringList>

#include <functional>
#include <utility>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace vindel::windows {

class IntervalInput;

// The settings dialog. It opens filled from the configuration record; OK
// validates, stores all settings and closes; Cancel, Escape and the close box
// change nothing.
class ConfigDialog : public CentredDialog {
    Q_OBJECT

public:
    // Asks the user for a file: parent, where to start (a folder, or a file
    // to start with), filters (the first is offered first unless `selected`
    // names another). Empty when cancelled.
    using FileChooser = std::function<QString(QWidget* parent, const QString& start,
                                              const QStringList& filters, const QString& selected)>;

    // The dialog's messages and its sound preview go to the desktop.
    ConfigDialog(settings::Globals& globals, settings::ConfigStore& store, shell::Desktop& desktop,
                 QWidget* parent = nullptr);
    ~ConfigDialog() override;

    void setFileChooser(FileChooser chooser);

    static QString captionText();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* addBox(QWidget* container, const char* name, const QRect& place);
    void okPressed();
    void browseMailer();
    void browseSound();
    QString chooseFile(const QStringList& filters, const QString& selected);

    settings::Globals& m_globals;
    settings::ConfigStore& m_store;
    shell::Desktop& m_desktop;
    FileChooser m_chooseFile;
    QString m_fileName; // the open dialog's last answer

    QLineEdit* m_userName = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_server = nullptr;
    QLineEdit* m_interval = nullptr;
    IntervalInput* m_intervalInput = nullptr;
    QLineEdit* m_mailerPath = nullptr;
    QLineEdit* m_soundPath = nullptr;
    QPushButton* m_browseMailer = nullptr;
    QPushButton* m_browseSound = nullptr;
    QCheckBox* m_mailCountReset = nullptr;
    // Each text box with the form field it shows, in the order of the form.
    std::vector<std::pair<QLineEdit*, QString settings::ConfigFormFields::*>> m_textBoxes;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace vindel::windows
