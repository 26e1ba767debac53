// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What another thread may do with a window: post to it and ask whether it is
// there and enabled. Qt-free, so the link can be tested with fake windows.
#pragma once
#include "platform/win_types.h"

#include <memory>

namespace platform {

// A posted message. payload keeps whatever wParam points into alive until the
// receiver has handled (or dropped) the message, then frees it.
struct Message {
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::shared_ptr<const void> payload;
};

class Window {
public:
    virtual ~Window() = default;
    // Queues the message for the window's thread; false (and no effect) when the
    // window has closed. Safe from any thread.
    virtual bool Post(Message message) = 0;
    // True only while the window exists and is enabled. Safe from any thread.
    virtual bool IsEnabled() const = 0;
};

// HWND: null while the window does not exist.
using HWND = std::shared_ptr<Window>;

inline BOOL PostMessage(const HWND &w, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0,
                        std::shared_ptr<const void> payload = nullptr)
{
    return w && w->Post(Message{msg, wParam, lParam, std::move(payload)});
}

inline BOOL IsWindowEnabled(const HWND &w) { return w && w->IsEnabled(); }

}  // namespace platform
