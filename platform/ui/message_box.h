// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Message boxes, from the window thread or from the worker. A worker's box is
// shown by the window thread while the worker waits for the answer.
#pragma once
#include "platform/win_types.h"

#include <QString>
#include <functional>

class QWidget;

namespace platform {

struct MessageBoxCall {
    QString text;
    QString caption;  // as shown: the given one, else the program's name
    UINT flags;
    bool fromOtherThread;
};

// Test seam: while set, no box is shown; every call is handed to the hook on
// the window thread and its result is the answer.
using MessageBoxHook = std::function<int(const MessageBoxCall &)>;
void SetMessageBoxHook(MessageBoxHook hook);

// Window thread: a box modal to owner (may be null). Empty caption: the program's name.
int MessageBox(QWidget *owner, const QString &text, const QString &caption, UINT flags);

// Any thread: on the window thread the box is shown at once; elsewhere the call
// is queued to the window thread and waits until the box has been dismissed.
// ownerOf is asked on the window thread for the box's owner.
int MessageBoxFromAnyThread(const QString &text, const QString &caption, UINT flags,
                            std::function<QWidget *()> ownerOf);

// Window thread: shows now the boxes other threads have asked for and are
// waiting on, for a window thread that must wait for such a thread itself.
// Returns how many were shown.
int ServePendingMessageBoxes();

// Created once on the window thread before any other thread asks for a box,
// and destroyed before the application object; requests made without one are
// answered IDOK at once.
class MessageBoxService {
public:
    MessageBoxService();
    ~MessageBoxService();
    MessageBoxService(const MessageBoxService &) = delete;
    MessageBoxService &operator=(const MessageBoxService &) = delete;
};

}  // namespace platform
