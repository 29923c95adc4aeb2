#pragma once

#include "shell/Language.h"

#include <QTranslator>

namespace vindel::platform {

// Puts the program's translation for a language into effect for as long as
// it lives: every text the windows and messages fetch afterwards comes in
// that language. Japanese needs none (the program's own texts); a
// translation that cannot be read leaves them Japanese too.
class Translation {
public:
    explicit Translation(shell::Language language);
    ~Translation();
    Translation(const Translation&) = delete;
    Translation& operator=(const Translation&) = delete;

private:
    QTranslator m_translator;
    bool m_installed = false;
};

} // namespace vindel::platform
