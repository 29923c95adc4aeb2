#pragma once

#include <QFont>

namespace vindel::shell {

// The faces of the windows. Each names a preferred family and falls back to
// whatever the desktop offers in the same style.
class Fonts {
public:
    // A proportional Japanese Gothic face, for the Japanese captions.
    static QFont gothic(qreal points);
    // A small plain sans-serif face, for the English status texts.
    static QFont sansSerif(qreal points);
};

} // namespace vindel::shell
