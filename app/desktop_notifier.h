// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Carries the printer alerts to the desktop's notification service
// (org.freedesktop.Notifications on the session bus). Every call is
// asynchronous; with no bus or no service nothing is shown and nothing is said.
#pragma once
#include "link/protocol.h"
#include "view/printer_alerts.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <vector>

class DesktopNotifier final : public QObject {
    Q_OBJECT
public:
    // busNamed: whether the session has a bus at all; without one the notifier
    // stays idle, so that nothing (libdbus's autolaunch) starts one.
    explicit DesktopNotifier(bool busNamed, QObject *parent = nullptr);

    // server: the watched server's address as the title shows it.
    void Apply(const std::vector<AlertChange> &changes, const QString &server);

private:
    struct Slot {
        quint32 id = 0;          // the service's id of the slot's open notification, 0 for none
        quint64 generation = 0;  // bumped by every Notify and Close: a late answer of an older call is stale
    };

    void OnBusOpened();
    void Notify(const AlertChange &change, const QString &server);
    void Close(std::size_t slot);
    void OnNotified(std::size_t slot, quint64 generation, quint32 id);
    void CallClose(quint32 id);

    QDBusConnection m_bus;
    bool m_open = false;
    bool m_bodyMarkup = true;  // until the service says otherwise, a body may be read as markup
    Slot m_slots[PrinterSlots];
};

// The body's text as the service reads it: with markup, <, & and > as entities.
QString NotificationBodyText(const QString &text, bool markup);
