#include "shell/TrayTip.h"

#include "diag/Escape.h"

namespace vindel::shell {
namespace {
constexpr qsizetype visibleTipLength = 63; // 64-character field, the last one the terminating NUL
const QString productName = QStringLiteral("Vindel");
} // namespace

QString trayTip()
{
    return productName;
}

QString trayTip(const QString& statusText)
{
    return (productName + QStringLiteral(" - ") + diag::escapeControls(statusText)).left(visibleTipLength);
}

} // namespace vindel::shell
