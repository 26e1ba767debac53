// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ui/message_box.h"

#include "platform/ui/win_app.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QObject>
#include <QThread>
#include <algorithm>
#include <vector>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace platform {

namespace {

struct Request {
    QString text, caption;
    UINT flags = 0;
    std::function<QWidget *()> ownerOf;
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    int result = 0;
    bool taken = false;  // under g_serviceMutex: the window thread has begun showing it

    void Answer(int value)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (done)
                return;
            done = true;
            result = value;
        }
        answered.notify_all();
    }
};

class RequestEvent final : public QEvent {
public:
    static QEvent::Type EventType()
    {
        static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    explicit RequestEvent(std::shared_ptr<Request> r) : QEvent(EventType()), request(std::move(r)) {}
    // A request dropped unhandled (the program is ending) must not leave its caller waiting.
    ~RequestEvent() override { request->Answer(IDOK); }
    std::shared_ptr<Request> request;
};

int ShowBox(QWidget *owner, const QString &text, const QString &caption, UINT flags, bool fromOtherThread);

std::mutex g_serviceMutex;
std::vector<std::shared_ptr<Request>> g_pending;  // queued, not yet shown

// Shows one request unless it has been shown already (by the other way in).
void Serve(const std::shared_ptr<Request> &request)
{
    {
        std::lock_guard<std::mutex> lock(g_serviceMutex);
        if (request->taken)
            return;
        request->taken = true;
        g_pending.erase(std::remove(g_pending.begin(), g_pending.end(), request), g_pending.end());
    }
    QWidget *owner = request->ownerOf ? request->ownerOf() : nullptr;
    request->Answer(ShowBox(owner, request->text, request->caption, request->flags, true));
}

class Receiver final : public QObject {
public:
    bool event(QEvent *e) override
    {
        if (e->type() != RequestEvent::EventType())
            return QObject::event(e);
        Serve(static_cast<RequestEvent *>(e)->request);
        return true;
    }
};

Receiver *g_receiver = nullptr;  // lives on the window thread while the service exists
MessageBoxHook &Hook()
{
    static MessageBoxHook hook;
    return hook;
}

bool OnWindowThread()
{
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

}  // namespace

void SetMessageBoxHook(MessageBoxHook hook) { Hook() = std::move(hook); }

namespace {

int ShowBox(QWidget *owner, const QString &text, const QString &caption, UINT flags, bool fromOtherThread)
{
    MessageBoxCall call{text, caption.isEmpty() ? CWinApp::AppName() : caption, flags, fromOtherThread};
    if (Hook())
        return Hook()(call);
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (flags & 0xF0) {
    case MB_ICONHAND: icon = QMessageBox::Critical; break;
    case MB_ICONEXCLAMATION: icon = QMessageBox::Warning; break;
    case 0x40: icon = QMessageBox::Information; break;
    case 0x20: icon = QMessageBox::Question; break;
    default: break;
    }
    QMessageBox box(icon, call.caption, text, QMessageBox::Ok, owner);
    box.setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);
    box.exec();
    return IDOK;
}

}  // namespace

int MessageBox(QWidget *owner, const QString &text, const QString &caption, UINT flags)
{
    return ShowBox(owner, text, caption, flags, false);
}

int MessageBoxFromAnyThread(const QString &text, const QString &caption, UINT flags, std::function<QWidget *()> ownerOf)
{
    if (OnWindowThread())
        return MessageBox(ownerOf ? ownerOf() : nullptr, text, caption, flags);
    auto request = std::make_shared<Request>();
    request->text = text;
    request->caption = caption;
    request->flags = flags;
    request->ownerOf = std::move(ownerOf);
    {
        std::lock_guard<std::mutex> lock(g_serviceMutex);
        if (!g_receiver)
            return IDOK;
        g_pending.push_back(request);
        QCoreApplication::postEvent(g_receiver, new RequestEvent(request));
    }
    std::unique_lock<std::mutex> lock(request->mutex);
    request->answered.wait(lock, [&] { return request->done; });
    return request->result;
}

int ServePendingMessageBoxes()
{
    int shown = 0;
    for (;;) {
        std::shared_ptr<Request> next;
        {
            std::lock_guard<std::mutex> lock(g_serviceMutex);
            if (g_pending.empty())
                return shown;
            next = g_pending.front();
        }
        Serve(next);
        ++shown;
    }
}

MessageBoxService::MessageBoxService()
{
    std::lock_guard<std::mutex> lock(g_serviceMutex);
    if (!g_receiver)
        g_receiver = new Receiver;
}

MessageBoxService::~MessageBoxService()
{
    Receiver *r;
    {
        std::lock_guard<std::mutex> lock(g_serviceMutex);
        r = g_receiver;
        g_receiver = nullptr;
    }
    delete r;  // its pending requests are answered as they are dropped
}

}  // namespace platform
