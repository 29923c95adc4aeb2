#pragma once

#include "shell/Desktop.h"

#include <QCursor>
#include <QIcon>

namespace vindel::windows {

// The program's own pictures, compiled in from resources/pictures. Each
// icon holds a hand-drawn 16 x 16 version besides the 32 x 32 one. Each is
// read once; every call hands out the same shared icon.
class Pictures {
public:
    // The state pictures: postbox, postbox with a letter, crossed-out postbox.
    static QIcon state(shell::StatePicture picture);
    // The program's own icon, which every window carries: the postbox.
    static QIcon application();
    // The mail-program button: a letter sheet with a stamp.
    static QIcon mailer();
    // The notice window's icon: a postbox with a letter in its slot.
    static QIcon notice();
    // The About picture: a globe, a computer and a note in a red frame.
    static QIcon about();
    // The pointer over the About window's e-mail address.
    static QCursor envelopeCursor();
};

} // namespace vindel::windows
