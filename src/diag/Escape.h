#pragma once

#include <QString>

namespace vindel::diag {

// Text from a server or a certificate as the log, a message box and the tray
// show it: every control character is written as "\xHH" (a line feed is
// "\x0A", escape "\x1B"), and the line and paragraph separators and the
// direction overrides, which would break a line or turn text round on
// screen, as "\uHHHH". A final line end ("\n" or "\r\n", a server reply's
// own) stays as it is. So a text can start no line of its own and move no
// text: one event is one line.
QString escapeControls(const QString& text);

} // namespace vindel::diag
