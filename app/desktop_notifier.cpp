// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop_notifier.h"

#include "view/printer_details.h"
#include "view/ui/tree_widget_control.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QThread>
#include <QVariantMap>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
const QString AppId = QStringLiteral("org.kestrum.UsbKestrum");  // the desktop entry's and the icon's name
const QString AppName = QStringLiteral("USB Kestrum");

QDBusMessage Call(const QString &method) { return QDBusMessage::createMethodCall(Service, Path, Interface, method); }

// Off line and paper out need a hand soon; a fault may need a technician and stays until seen.
uchar UrgencyOf(PrinterAlert alert) { return alert == PrinterAlert::Fault ? 2 : 1; }

}  // namespace

QString NotificationBodyText(const QString &text, bool markup)
{
    if (!markup)
        return text;
    QString out = text;
    out.replace(QLatin1Char('&'), QStringLiteral("&amp;"));
    out.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
    out.replace(QLatin1Char('>'), QStringLiteral("&gt;"));
    return out;
}

DesktopNotifier::DesktopNotifier(bool busNamed, QObject *parent) : QObject(parent), m_bus(QString())
{
    if (!busNamed)
        return;
    // The first connection waits for the bus's answer, so it is made on a thread
    // of its own, which deletes itself when done: nothing ever waits for it.
    QThread *opener = QThread::create([] { (void)QDBusConnection::sessionBus().isConnected(); });
    connect(opener, &QThread::finished, this, &DesktopNotifier::OnBusOpened);
    connect(opener, &QThread::finished, opener, &QObject::deleteLater);
    opener->start();
}

void DesktopNotifier::OnBusOpened()
{
    m_bus = QDBusConnection::sessionBus();  // made already: no wait
    m_open = m_bus.isConnected();
    if (!m_open)
        return;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(Call(QStringLiteral("GetCapabilities"))), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        const QDBusPendingReply<QStringList> reply = *w;
        if (!reply.isError())
            m_bodyMarkup = reply.value().contains(QStringLiteral("body-markup"));
        w->deleteLater();
    });
}

void DesktopNotifier::Apply(const std::vector<AlertChange> &changes, const QString &server)
{
    if (!m_open)
        return;  // no bus (yet): the window alone shows it
    for (const AlertChange &change : changes) {
        if (change.action == AlertChange::Action::Notify)
            Notify(change, server);
        else
            Close(change.slot);
    }
}

void DesktopNotifier::Notify(const AlertChange &change, const QString &server)
{
    Slot &slot = m_slots[change.slot];
    const quint64 generation = ++slot.generation;
    const QString body = FromRecordText(change.name) + QStringLiteral("\nServer IP: ") + server;
    const QVariantMap hints{{QStringLiteral("urgency"), QVariant::fromValue(UrgencyOf(change.alert))},
                            {QStringLiteral("desktop-entry"), AppId},
                            {QStringLiteral("category"), QStringLiteral("device.error")}};
    QDBusMessage call = Call(QStringLiteral("Notify"));
    call << AppName << slot.id << AppId << FromRecordText(GetStatusText(change.statusFlags))
         << NotificationBodyText(body, m_bodyMarkup) << QStringList() << hints << qint32(-1);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    const std::size_t index = change.slot;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, index, generation](QDBusPendingCallWatcher *w) {
        const QDBusPendingReply<quint32> reply = *w;
        if (!reply.isError())
            OnNotified(index, generation, reply.value());
        w->deleteLater();
    });
}

void DesktopNotifier::OnNotified(std::size_t index, quint64 generation, quint32 id)
{
    Slot &slot = m_slots[index];
    if (slot.generation == generation)
        slot.id = id;
    else if (id != slot.id)
        CallClose(id);  // the printer moved on while the call was under way
}

void DesktopNotifier::Close(std::size_t index)
{
    Slot &slot = m_slots[index];
    ++slot.generation;
    if (slot.id != 0)
        CallClose(slot.id);
    slot.id = 0;
}

void DesktopNotifier::CallClose(quint32 id)
{
    QDBusMessage call = Call(QStringLiteral("CloseNotification"));
    call << id;
    m_bus.asyncCall(call);  // the answer (none, or an error for one already gone) tells us nothing
}
