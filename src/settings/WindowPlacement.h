#pragma once

#include <optional>

namespace vindel::settings {

// Where loading the settings puts the status window, in twips (1/1440 inch).
// The caller gives the sizes; the load fills in the place as it reaches the
// position keys, so a load that stops at a key leaves what follows unset.
struct WindowPlacement {
    int windowWidth = 0;
    int windowHeight = 0;
    int screenWidth = 0;
    int screenHeight = 0;
    std::optional<int> left = std::nullopt;
    std::optional<int> top = std::nullopt;
};

} // namespace vindel::settings
