#pragma once

namespace vindel::shell {

// Opens the configuration dialog modally on a fresh instance and returns when
// it has closed (by OK or Cancel); the instance is released afterwards.
class ConfigDialogHost {
public:
    virtual ~ConfigDialogHost() = default;
    virtual void runModal() = 0;
};

} // namespace vindel::shell
