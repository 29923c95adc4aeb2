#pragma once

#include <QString>

namespace vindel::shell {

// The tray tip: "Vindel" alone, or "Vindel - " and a status text, fitted to
// the 64-character tip field, of which at most 63 characters show. The
// status text may hold a server's count: its control characters show escaped.
QString trayTip(const QString& statusText);
QString trayTip();

} // namespace vindel::shell
