#pragma once
// What a run needs from the main window: its two buttons, message boxes and the per-packet
// method. The event loop and the clock it runs on are an EventLoop of their own.

#include "device/kardemo.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace solvane {

class RunView {
public:
    virtual ~RunView() = default;
    virtual void setActionCaption(std::string_view caption) = 0;
    virtual void setOptionsEnabled(bool enabled) = 0;
    /// A modal message box with an OK button; returns when it is closed.
    virtual void showMessage(const std::string& text) = 0;
    /// The window's per-packet method.
    virtual void draw(const int32_t (&packet)[KARDEMO_PACKET_ELEMENTS]) = 0;
};

} // namespace solvane
