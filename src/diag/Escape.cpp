#include "diag/Escape.h"

namespace vindel::diag {
namespace {

bool needsEscape(QChar c)
{
    const char16_t u = c.unicode();
    return c.category() == QChar::Other_Control || u == 0x2028 || u == 0x2029 ||
           (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
}

QString hex(char16_t code, int digits)
{
    return QString::number(uint(code), 16).toUpper().rightJustified(digits, u'0');
}

} // namespace

QString escapeControls(const QString& text)
{
    qsizetype end = text.size();
    if (text.endsWith(QStringLiteral("\r\n")))
        end -= 2;
    else if (text.endsWith(u'\n'))
        end -= 1;
    QString escaped;
    escaped.reserve(text.size());
    for (qsizetype i = 0; i < end; ++i) {
        const QChar c = text.at(i);
        if (!needsEscape(c))
            escaped += c;
        else if (c.unicode() < 0x100)
            escaped += QStringLiteral("\\x") + hex(c.unicode(), 2);
        else
            escaped += QStringLiteral("\\u") + hex(c.unicode(), 4);
    }
    escaped.append(QStringView(text).mid(end));
    return escaped;
}

} // namespace vindel::diag
