#pragma once

#include <QStringList>

namespace vindel::shell {

// The language of the menus, dialogs and messages. The program's own texts
// are Japanese; English is the one translation. The status texts, tray tips
// and connection errors are English in either.
enum class Language { Japanese, English };

// Chooses from the user's languages, most preferred first, as
// QLocale::system().uiLanguages() gives them ("ja-JP", "en-Latn-US", "C"; the
// variable LANGUAGE comes first there). The first that the program has wins:
// Japanese, or the C/POSIX locale, shows the program's own texts; English
// shows English. A user whose languages are all others reads English; no
// language at all is the POSIX locale.
Language chooseLanguage(const QStringList& uiLanguages);

} // namespace vindel::shell
