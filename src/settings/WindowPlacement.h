#pragma once

namespace vindel::settings {

// What loading the settings needs of the status window. All lengths are in
// twips (1/1440 inch; 1440 / dpi twips per pixel).
class WindowPlacement {
public:
    virtual ~WindowPlacement() = default;
    virtual int windowWidthTwips() const = 0;
    virtual int windowHeightTwips() const = 0;
    virtual int screenWidthTwips() const = 0;
    virtual int screenHeightTwips() const = 0;
    virtual int leftTwips() const = 0;
    virtual int topTwips() const = 0;
    virtual void setLeftTwips(int left) = 0;
    virtual void setTopTwips(int top) = 0;
    // Puts the window into or out of the top-most band; always shows it.
    virtual void setTopMost(bool topMost) = 0;
};

} // namespace vindel::settings
