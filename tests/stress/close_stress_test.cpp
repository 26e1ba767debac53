// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The real main window with the real worker against the simulator on loopback,
// closed at random moments by every way a person (or the worker) closes it.
// Each run must reach its moment and end through the close made there, with no
// false "Child thread exit abnormal !" and no sanitizer report. The time each
// close took is printed. KESTRUM_STRESS_RUNS runs (default 25) from
// KESTRUM_STRESS_SEED (default: from the clock), which is printed.
#include "tests/stress/loopback_simulator.h"
#include "main_window_harness.h"
#include "dialogs/about_dlg.h"
#include "link/status_worker.h"
#include "view/printer_tree.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <random>
#include <thread>

using namespace platform;

namespace {

enum Moment { Notice, Search, ServerList, AddressEntry, Polling, ConnectFailed, AboutBox, kMomentCount };
enum Way { Escape, Enter, CloseBox, ExitButton, WorkerRequest, kWayCount };
const char *const kMomentNames[] = {"notice up", "search behind the window", "server list",   "address entry",
                                    "polling",   "Connect Failed up",        "About box open"};
const char *const kWayNames[] = {"Escape", "Enter", "close box", "Exit button", "worker's close request"};

// Message boxes stand open, as a real one would, until the person answers them.
struct Boxes {
    Boxes()
    {
        SetMessageBoxHook([this](const MessageBoxCall &call) {
            texts.push_back(call.text);
            QEventLoop loop;
            open.push_back(&loop);
            loop.exec();
            open.erase(std::find(open.begin(), open.end(), &loop));
            return IDOK;
        });
    }
    ~Boxes() { SetMessageBoxHook({}); }
    void DismissTop()
    {
        if (!open.empty())
            open.back()->exit(0);
    }
    std::vector<QEventLoop *> open;
    QStringList texts;
};

CAboutDlg *OpenAbout()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *about = qobject_cast<CAboutDlg *>(w); about && about->IsRunning())
            return about;
    return nullptr;
}

// One run to the moment and a close by the way: empty, or what went wrong.
QString CloseOnce(Moment moment, Way way, std::mt19937 &random, qint64 &closeMs)
{
    auto between = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    // For the notice and the search: no server to find, or one that answers late.
    const std::vector<std::string> unseen =
        between(0, 1) ? std::vector<std::string>{"--no-discovery"}
                      : std::vector<std::string>{"--delay-ms", std::to_string(between(200, 1200))};
    const std::vector<std::string> simArgs[kMomentCount] = {
        unseen, unseen, {}, {"--no-discovery"}, {}, {"--stop-after", std::to_string(between(1, 2))}, {}};
    SimulatorProcess sim(simArgs[moment]);
    if (!sim.Port())
        return "the simulator did not start";
    const LinkEndpoints ep = sim.Endpoints(static_cast<std::uint32_t>(between(700, 2500)));
    EventHandle workerDone = CreateEvent();
    g_nPrinterItems = 0;
    MessageBoxService service;
    Boxes boxes;
    CMonitorDlg dlg(nullptr, [ep, workerDone](std::shared_ptr<WorkerHost> host) {
        StatusWorker(std::move(host), ep);
        workerDone->Set();
    });
    MainWindowApp app(dlg);
    std::thread poster;
    QString failure;

    auto dialogs = [&] {  // the front one first
        return std::vector<CDialog *>{OpenAbout(), &dlg.m_serverListDlg, &dlg.m_serverAddressDlg, &dlg.m_findingDlg,
                                      &dlg};
    };
    auto front = [&] {
        const auto all = dialogs();
        return *std::find_if(all.begin(), all.end() - 1, [](CDialog *d) { return d && d->IsRunning(); });
    };
    auto polling = [&] {
        return dlg.isVisible() && dlg.m_treePrinters && dlg.m_treePrinters->topLevelItemCount() &&
               dlg.m_treePrinters->topLevelItem(0)->childCount() > 0;
    };
    bool aboutAsked = false;
    auto advance = [&] {  // towards the moment: the server chosen, the notice ended early, About opened
        if (moment != ServerList && moment != AddressEntry)
            AnswerServerChoice(dlg);
        if (moment == Search && dlg.m_findingDlg.IsRunning())
            dlg.m_findingDlg.PressKey(Qt::Key_Escape);
        if (moment == AboutBox && polling() && !std::exchange(aboutAsked, true))
            QTimer::singleShot(0, &dlg, [&] { dlg.SendMessage(WM_SYSCOMMAND, IDM_ABOUTBOX, 0); });
    };
    auto reached = [&] {
        const bool at[kMomentCount] = {dlg.m_findingDlg.IsRunning(),
                                       dlg.isVisible() && dlg.m_findingDlg.RunEnded() &&
                                           !dlg.m_serverListDlg.IsRunning() && !dlg.m_serverAddressDlg.IsRunning() &&
                                           !workerDone->IsSet(),
                                       dlg.m_serverListDlg.IsRunning(),
                                       dlg.m_serverAddressDlg.IsRunning(),
                                       polling(),
                                       !boxes.open.empty() && boxes.texts.contains(QStringLiteral("Connect Failed!\n")),
                                       OpenAbout() != nullptr};
        return at[moment];
    };
    auto act = [&](Way w) {
        CDialog *f = front();
        if (!boxes.open.empty()) {  // a box in front takes every key and the close box, not the Exit button
            if (w == WorkerRequest)
                sim.Freeze();
            else if (w != ExitButton)
                boxes.DismissTop();
        } else if (w == Escape || (w == Enter && (f != &dlg || !dlg.m_treePrinters))) {
            f->PressKey(w == Escape ? Qt::Key_Escape : Qt::Key_Return);
        } else if (w == Enter) {
            dlg.m_treePrinters->setFocus();
            QTest::keyClick(dlg.m_treePrinters, Qt::Key_Return);
        } else if (w == CloseBox) {
            f->close();
        } else if (w == ExitButton) {
            if (f == &dlg && dlg.isVisible() && dlg.m_btnExit)  // a dialog in front blocks the click
                QTest::mouseClick(dlg.m_btnExit, Qt::LeftButton);
        } else if (moment == Polling || moment == AboutBox || moment == ConnectFailed) {
            sim.Freeze();  // the server falls silent: the worker warns, then closes the window
        } else {
            if (poster.joinable())
                poster.join();
            poster = std::thread([main = dlg.GetSafeHwnd()] { PostMessage(main, WM_CLOSE); });
        }
    };

    // What the person does runs from the event loop, not inside the tick: a
    // modal run it starts must not hold the tick that has to answer it.
    QObject person;
    QElapsedTimer clock, sinceClose;
    clock.start();
    qint64 actAt = -1, nextEscape = 700, dismissAt = -1;
    auto startClosing = [&](Way w) {
        sinceClose.start();
        QTimer::singleShot(0, &person, [&act, w] { act(w); });
    };
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (!sinceClose.isValid()) {  // reaching the moment, then waiting a while in it
            if (actAt < 0 && reached())
                actAt = clock.elapsed() + between(0, moment == Polling ? 1500 : 600);
            else if (actAt < 0)
                QTimer::singleShot(0, &person, advance);
            else if (clock.elapsed() >= actAt)
                startClosing(way);
            return;
        }
        // Afterwards a person answers every box and, until the program has begun
        // to close, presses Escape on whatever is in front.
        const qint64 t = sinceClose.elapsed();
        if (!boxes.open.empty() && dismissAt < 0) {
            dismissAt = t + between(20, 300);
        } else if (!boxes.open.empty() && t >= dismissAt) {
            boxes.DismissTop();
            dismissAt = -1;
        } else if (boxes.open.empty() && !dlg.ShutdownBegun() && t >= nextEscape) {
            nextEscape = t + 400;
            QTimer::singleShot(0, &person, [&] { act(Escape); });
        }
    });
    tick.start(10);
    dlg.DoModal();
    tick.stop();
    if (poster.joinable())
        poster.join();
    closeMs = sinceClose.isValid() ? sinceClose.elapsed() : -1;
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    // A window that ends by itself before the close was made has closed
    // nothing: its moment (or the close) never came.
    if (failure.isEmpty() && !sinceClose.isValid())
        failure = actAt < 0 ? "the window ended before its moment came" : "the window ended by itself before the close";
    const std::pair<bool, QString> checks[] = {
        {!failure.isEmpty(), failure},
        {boxes.texts.contains(QStringLiteral("Child thread exit abnormal !")),
         "false \"Child thread exit abnormal !\""},
        {!workerDone->IsSet(), "the worker still runs after the window has gone"},
        {g_hStopEvent || g_hChoiceEvent || g_hWorkerThread, "the shutdown left handles behind"}};
    for (const auto &[failed, what] : checks)
        if (failed)
            return what;
    return {};
}

}  // namespace

class CloseStressTest : public QObject {
    Q_OBJECT
private slots:
    void randomMomentCloses()
    {
        const int runs =
            qEnvironmentVariableIsSet("KESTRUM_STRESS_RUNS") ? qEnvironmentVariableIntValue("KESTRUM_STRESS_RUNS") : 25;
        const unsigned seed = qEnvironmentVariableIsSet("KESTRUM_STRESS_SEED")
                                  ? static_cast<unsigned>(qEnvironmentVariableIntValue("KESTRUM_STRESS_SEED"))
                                  : static_cast<unsigned>(QDateTime::currentMSecsSinceEpoch());
        std::printf("close stress: seed %u, %d runs (replay: KESTRUM_STRESS_SEED=%u)\n", seed, runs, seed);
        std::mt19937 random(seed);
        std::vector<std::pair<Moment, Way>> combos;  // every moment with every way, in the seed's order
        for (int m = 0; m < kMomentCount * kWayCount; ++m)
            combos.emplace_back(Moment(m / kWayCount), Way(m % kWayCount));
        std::shuffle(combos.begin(), combos.end(), random);
        int failures = 0;
        for (int i = 0; i < runs; ++i) {
            const auto [moment, way] = combos[static_cast<std::size_t>(i) % combos.size()];
            std::printf("close stress: run %d: %s by %s: ", i, kMomentNames[moment], kWayNames[way]);
            std::fflush(stdout);  // a run that hangs or crashes is named before it ends
            qint64 closeMs = -1;
            const QString failure = CloseOnce(moment, way, random, closeMs);
            std::printf("%s (%lld ms)\n", failure.isEmpty() ? "ended" : qPrintable(failure),
                        static_cast<long long>(closeMs));
            std::fflush(stdout);
            failures += failure.isEmpty() ? 0 : 1;
        }
        QCOMPARE(failures, 0);
    }
};

QTEST_MAIN(CloseStressTest)
#include "close_stress_test.moc"
