#pragma once

namespace vindel::shell {

// The shared About window: created, centred and shown on first use; brought
// forward when it is already open.
class AboutView {
public:
    virtual ~AboutView() = default;
    virtual void showAbout() = 0;
};

} // namespace vindel::shell
