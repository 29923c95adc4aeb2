#include "shell/QtMessageBoxes.h"

#include "ModalCatcher.h"

#include <QMessageBox>

#include <gtest/gtest.h>

namespace vindel::test {
namespace {

TEST(QtMessageBoxesTest, ModalBoxTitledVindelWithTheStyleIconAndLineBreaks)
{
    const std::vector<std::pair<shell::MessageStyle, QMessageBox::Icon>> styles{
        {shell::MessageStyle::Stop, QMessageBox::Critical},
        {shell::MessageStyle::Exclamation, QMessageBox::Warning},
        {shell::MessageStyle::Information, QMessageBox::Information},
    };
    shell::QtMessageBoxes boxes;
    for (const auto& [style, icon] : styles) {
        QMessageBox* seen = nullptr;
        QString title;
        QString text;
        QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        ModalCatcher catcher(ModalCatcher::Kind::Modal, [&](QWidget* widget) {
            seen = qobject_cast<QMessageBox*>(widget);
            if (!seen)
                return;
            title = seen->windowTitle();
            text = seen->text();
            seenIcon = seen->icon();
            buttons = seen->standardButtons();
        });
        boxes.show(QStringLiteral("Error 10061\r\n\r\nConnection is forcefully rejected"), style);
        ASSERT_TRUE(catcher.caught());
        ASSERT_NE(seen, nullptr);
        EXPECT_EQ(title, QStringLiteral("Vindel"));
        EXPECT_EQ(text, QStringLiteral("Error 10061\n\nConnection is forcefully rejected"));
        EXPECT_EQ(seenIcon, icon);
        EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
}

} // namespace
} // namespace vindel::test
