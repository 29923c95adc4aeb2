#pragma once

#include <QString>

namespace vindel::shell {

// The shared new-mail notice window. show() creates it on first use (it then
// centres itself, stays on top and closes 5000 ms after creation), sets the
// text and the caption "Vindel", lets pending events run and shows it.
class NoticeView {
public:
    virtual ~NoticeView() = default;
    virtual void showNotice(const QString& text) = 0;
};

} // namespace vindel::shell
