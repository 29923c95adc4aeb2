#pragma once

#include <QString>

namespace vindel::shell {

// Icon styles of the program's message boxes, with their traditional values.
enum class MessageStyle { Stop = 16, Exclamation = 48, Information = 64 };

// Modal message boxes titled "Vindel" with one OK button.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual void show(const QString& text, MessageStyle style) = 0;
};

} // namespace vindel::shell
