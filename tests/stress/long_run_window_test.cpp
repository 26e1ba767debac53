// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's reply handling over a long run, offscreen: replies whose printers come, go and change names, with
// one printer selected so that the status row and the details are rewritten each time. After a warm-up the heap in use
// and the open files must stay where they were.
#include "main_window_harness.h"

#include "app/messages.h"
#include "bench/wire_replies.h"

#include <QDir>
#include <QTest>
#include <QTreeWidget>
#include <malloc.h>

#include <cstdlib>
#include <cstring>

using namespace platform;

namespace {

constexpr long HeapSlack = 256 * 1024;  // bytes the heap in use may drift by

long HeapInUse() { return static_cast<long>(mallinfo2().uordblks); }
int OpenFiles() { return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files).size()); }

// Wire replies with a different set of slots in use from one to the next.
std::vector<std::shared_ptr<StatusReply>> ChangingReplies()
{
    std::vector<std::shared_ptr<StatusReply>> replies;
    const auto wire = MakeWireReplies(40);
    for (std::size_t v = 0; v < wire.size(); ++v) {
        auto reply = std::make_shared<StatusReply>();
        std::memcpy(reply.get(), wire[v].data(), sizeof *reply);
        for (std::size_t slot = 1; slot < PrinterSlots; ++slot)  // the first stays: its printer is selected
            if ((slot + v) % 3 == 0)
                reply->records[slot].printerName[0] = '\0';
        replies.push_back(reply);
    }
    return replies;
}

}  // namespace

class LongRunWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Q_INIT_RESOURCE(resources); }

    void repliesLeaveTheHeapAndFilesFlat()
    {
        const int total =
            std::getenv("KESTRUM_LONG_RUN_REPLIES") ? std::atoi(std::getenv("KESTRUM_LONG_RUN_REPLIES")) : 100000;
        const int warmUp = total / 10;
        const auto replies = ChangingReplies();
        MonitorRun run(QuietWorker(120000));
        auto &dlg = run.dlg;
        long heapAfterWarmUp = 0, heapAtEnd = 0;
        int filesAfterWarmUp = 0, filesAtEnd = 0, handled = 0;
        run.drive.Then([&] { return dlg.isVisible(); });
        run.drive.Then([&] {
            for (int sent = 0; sent < total; ++sent) {
                const auto &reply = replies[std::size_t(sent) % replies.size()];
                PostMessage(dlg.GetSafeHwnd(), WM_STATUS_REPLY, reinterpret_cast<WPARAM>(reply.get()), 0, reply);
                if (sent == 0) {
                    QCoreApplication::processEvents();
                    dlg.m_treePrinters->setCurrentItem(dlg.m_treePrinters->topLevelItem(0)->child(0));
                }
                if (sent % 100 == 99)
                    QCoreApplication::processEvents();
                if (sent + 1 == warmUp) {
                    QCoreApplication::processEvents();
                    heapAfterWarmUp = HeapInUse();
                    filesAfterWarmUp = OpenFiles();
                }
                handled = sent + 1;
            }
            QCoreApplication::processEvents();
            heapAtEnd = HeapInUse();
            filesAtEnd = OpenFiles();
            dlg.PressKey(Qt::Key_Escape);
            return true;
        });
        dlg.DoModal();
        QVERIFY(!run.drive.Aborted());
        QCOMPARE(handled, total);
        qInfo("%d replies: heap in use %ld bytes after %d, %ld at the end (%+ld); open files %d, then %d", total,
              heapAfterWarmUp, warmUp, heapAtEnd, heapAtEnd - heapAfterWarmUp, filesAfterWarmUp, filesAtEnd);
        QVERIFY2(heapAtEnd - heapAfterWarmUp < HeapSlack, "the heap grew after the warm-up");
        QVERIFY2(filesAtEnd <= filesAfterWarmUp, "files were left open");
    }
};

QTEST_MAIN(LongRunWindowTest)
#include "long_run_window_test.moc"
