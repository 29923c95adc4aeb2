#include "platform/Translation.h"

#include <QCoreApplication>

namespace vindel::platform {

Translation::Translation(shell::Language language)
{
    if (language == shell::Language::Japanese)
        return;
    // Compiled from translations/vindel_en.ts into the program's resources.
    if (m_translator.load(QStringLiteral(":/i18n/vindel_en.qm")))
        m_installed = QCoreApplication::installTranslator(&m_translator);
}

Translation::~Translation()
{
    if (m_installed)
        QCoreApplication::removeTranslator(&m_translator);
}

} // namespace vindel::platform
