#pragma once

namespace vindel::shell {

// Enabled state of the two menu entries that depend on the check cycle.
struct MenuState {
    bool checkEnabled = true;    // "ﾒｰﾙﾁｪｯｸ！"
    bool settingsEnabled = true; // "設定"
    bool operator==(const MenuState&) const = default;
};

// The program's commands, as the windows and the tray invoke them.
class Commands {
public:
    virtual ~Commands() = default;
    virtual void checkNow() = 0;      // the check command (state button, "ﾒｰﾙﾁｪｯｸ！")
    virtual void launchMailer() = 0;  // mail-program button, "ﾒｰﾗｰの起動"
    virtual void editSettings() = 0;  // "設定"
    virtual void toggleTopMost() = 0; // "常に手前に表示"
    virtual void showAbout() = 0;     // "ﾊﾞｰｼﾞｮﾝ情報"
    virtual void exitProgram() = 0;   // "終了": the shut-down sequence, then the end
    // The end of a drag of the status window: stores the position and saves.
    virtual void windowMoved(int leftTwips, int topTwips) = 0;
    // Enabling rules: the window's menu also looks at the error count.
    virtual MenuState windowMenuState() const = 0;
    virtual MenuState trayMenuState() const = 0;
};

} // namespace vindel::shell
