#pragma once

#include <QStringList>

namespace vindel::shell {

// The command-line switches. Only the whole argument text counts, in any
// case: "/c" is "/C", but "/C /T" is neither.
enum class StartSwitch { None, Configure, Trace };

StartSwitch parseStartSwitch(const QStringList& arguments);

} // namespace vindel::shell
