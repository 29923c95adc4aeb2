#include "windows/Fonts.h"

#include <QFontMetrics>
#include <QLabel>
#include <QStringList>

namespace vindel::windows {

QFont Fonts::gothic(qreal points)
{
    QFont font;
    font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                      QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic"),
                      QStringLiteral("Droid Sans Fallback")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    return font;
}

QFont Fonts::sansSerif(qreal points)
{
    QFont font;
    // Narrow Helvetica-like faces first: the status texts must fit 105 pixels.
    font.setFamilies({QStringLiteral("Nimbus Sans"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arimo"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    return font;
}

void Fonts::showFitted(QLabel& label, const QFont& font, const QString& text)
{
    constexpr qreal step = 0.25;
    // A pixel clear on either side: the status text sits inside a frame.
    const int width = label.contentsRect().width() - 2;
    QFont fitted = font;
    while (QFontMetrics(fitted).horizontalAdvance(text) > width &&
           fitted.pointSizeF() - step >= smallestPoints)
        fitted.setPointSizeF(fitted.pointSizeF() - step);
    label.setTextFormat(Qt::PlainText);
    label.setFont(fitted);
    label.setText(QFontMetrics(fitted).elidedText(text, Qt::ElideMiddle, width));
}

} // namespace vindel::windows
