#pragma once

#include <QFont>
#include <QString>

class QLabel;

namespace vindel::windows {

// The faces of the windows. Each names a preferred family and falls back to
// whatever the desktop offers in the same style.
class Fonts {
public:
    // A proportional Japanese Gothic face, for the Japanese captions.
    static QFont gothic(qreal points);
    // A small plain sans-serif face, for the English status texts.
    static QFont sansSerif(qreal points);

    // Shows `text` as plain text in a one-line label of fixed size. A text too
    // wide for the label is drawn in a smaller face, down to smallestPoints;
    // what is still too wide then is cut in the middle, so that both ends
    // ("You have " and " Mail(s)") stay readable.
    static void showFitted(QLabel& label, const QFont& font, const QString& text);

    static constexpr qreal smallestPoints = 6.0;
};

} // namespace vindel::windows
