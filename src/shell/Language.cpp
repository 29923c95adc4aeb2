#include "shell/Language.h"

namespace vindel::shell {

Language chooseLanguage(const QStringList& uiLanguages)
{
    // Nothing set at all is the POSIX locale.
    if (uiLanguages.isEmpty())
        return Language::Japanese;
    for (const QString& tag : uiLanguages) {
        // "ja-JP", "ja_JP.UTF-8", "en-Latn-US": the language is the first part.
        const QString language = tag.section(u'-', 0, 0).section(u'_', 0, 0).section(u'.', 0, 0).toLower();
        if (language == u"ja" || language == u"c" || language == u"posix")
            return Language::Japanese;
        if (language == u"en")
            return Language::English;
    }
    return Language::English;
}

} // namespace vindel::shell
