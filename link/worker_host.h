// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What the status worker may reach of the windows, from its own thread.
// The main window implements it; tests give a fake.
#pragma once
#include "platform/event.h"
#include "platform/win_types.h"
#include "platform/window.h"

#include <cstdint>
#include <functional>

enum class HostWindow { Main, Finding, ServerList };

class WorkerHost {
public:
    virtual ~WorkerHost() = default;
    // The window's handle, fetched afresh at every use; null while it does not exist.
    virtual platform::HWND Window(HostWindow which) = 0;
    // True once the window's modal run has been and gone (or failed to start),
    // so waits for it to appear can give up.
    virtual bool RunEnded(HostWindow which) = 0;
    // The choice, read only after the choice event is seen set.
    virtual int ServerChosen() = 0;
    virtual std::uint32_t ServerAddress() = 0;  // network order
    // A message box owned by the main window, with the program's name as caption.
    // Returns when the user has dismissed it.
    virtual int MessageBox(const char *text, platform::UINT flags) = 0;
    virtual platform::EventHandle StopEvent() = 0;
    virtual platform::EventHandle ChoiceEvent() = 0;
};

// Where the link sends. The program uses Defaults(); tests point it at loopback.
struct LinkEndpoints {
    std::uint32_t broadcastAddress;  // network order; 255.255.255.255
    std::uint16_t port;              // host order; StatusPort
    // The default gateway's address bytes (first octet first); false when none.
    std::function<bool(std::uint8_t out[4])> gatewayLookup;
    // Upper bound of the whole listening phase of discovery, in milliseconds.
    std::uint32_t listenLimitMs;

    static LinkEndpoints Defaults();
};
