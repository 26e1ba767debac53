// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A posted window message travelling through Qt's event queue.
#pragma once
#include "platform/window.h"

#include <QEvent>
#include <memory>

namespace platform {

class DialogWindow;

class MessageEvent final : public QEvent {
public:
    static QEvent::Type EventType();
    MessageEvent(Message message, std::shared_ptr<DialogWindow> target)
        : QEvent(EventType()), m_message(std::move(message)), m_target(std::move(target))
    {
    }
    const Message &message() const { return m_message; }
    const std::shared_ptr<DialogWindow> &target() const { return m_target; }

private:
    Message m_message;  // its payload lives as long as the event
    std::shared_ptr<DialogWindow> m_target;
};

}  // namespace platform
