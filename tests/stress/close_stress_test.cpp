// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The real main window with the real worker against the simulator on loopback, closed at random moments by every way a
// person (or the worker) closes it. Each run must reach its moment and end through the close made there, with no false
// "Child thread exit abnormal !" and no sanitizer report. The time each close took is printed. KESTRUM_STRESS_RUNS runs
// (default 25) from KESTRUM_STRESS_SEED (default: from the clock), which is printed.
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
#include <functional>
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

// One run to the moment and a close by the way.
class CloseRun {
public:
    CloseRun(Moment moment, std::mt19937 &random, SimulatorProcess &sim)
        : m_moment(moment), m_random(random), m_sim(sim),
          m_dlg(nullptr, [ep = sim.Endpoints(std::uint32_t(Between(700, 2500))),
                          done = m_workerDone](std::shared_ptr<WorkerHost> host) {
              StatusWorker(std::move(host), ep);
              done->Set();
          })
    {
        g_nPrinterItems = 0;
    }
    // Empty, or what went wrong; closeMs is how long the close took.
    QString Run(Way way, qint64 &closeMs)
    {
        MainWindowApp app(m_dlg);
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] { Tick(way); });
        tick.start(10);
        m_dlg.DoModal();
        tick.stop();
        if (m_poster.joinable())
            m_poster.join();
        closeMs = m_sinceClose.isValid() ? m_sinceClose.elapsed() : -1;
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        // A window that ends by itself before the close was made has closed nothing.
        const std::pair<bool, QString> checks[] = {
            {m_actAt < 0, "the window ended before its moment came"},
            {!m_sinceClose.isValid(), "the window ended by itself before the close"},
            {m_boxes.texts.contains(QStringLiteral("Child thread exit abnormal !")),
             "false \"Child thread exit abnormal !\""},
            {!m_workerDone->IsSet(), "the worker still runs after the window has gone"},
            {g_hStopEvent || g_hChoiceEvent || g_hWorkerThread, "the shutdown left handles behind"}};
        for (const auto &[failed, what] : checks)
            if (failed)
                return what;
        return {};
    }

private:
    int Between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_random); }
    CDialog *Front()
    {
        for (CDialog *d :
             {static_cast<CDialog *>(OpenAbout()), static_cast<CDialog *>(&m_dlg.m_serverListDlg),
              static_cast<CDialog *>(&m_dlg.m_serverAddressDlg), static_cast<CDialog *>(&m_dlg.m_findingDlg)})
            if (d && d->IsRunning())
                return d;
        return &m_dlg;
    }
    bool ShowsPrinters()
    {
        QTreeWidget *tree = m_dlg.m_treePrinters;
        return m_dlg.isVisible() && tree && tree->topLevelItemCount() && tree->topLevelItem(0)->childCount() > 0;
    }
    void Advance()  // towards the moment: the server chosen, the notice ended early, About opened
    {
        if (m_moment != ServerList && m_moment != AddressEntry)
            AnswerServerChoice(m_dlg);
        if (m_moment == Search && m_dlg.m_findingDlg.IsRunning())
            m_dlg.m_findingDlg.PressKey(Qt::Key_Escape);
        if (m_moment == AboutBox && ShowsPrinters() && !std::exchange(m_aboutAsked, true))
            QTimer::singleShot(0, &m_dlg, [this] { m_dlg.SendMessage(WM_SYSCOMMAND, IDM_ABOUTBOX, 0); });
    }
    bool Reached()
    {
        CMonitorDlg &d = m_dlg;
        const bool searching = d.isVisible() && d.m_findingDlg.RunEnded() && !d.m_serverListDlg.IsRunning() &&
                               !d.m_serverAddressDlg.IsRunning() && !m_workerDone->IsSet();
        const bool at[kMomentCount] = {d.m_findingDlg.IsRunning(),
                                       searching,
                                       d.m_serverListDlg.IsRunning(),
                                       d.m_serverAddressDlg.IsRunning(),
                                       ShowsPrinters(),
                                       !m_boxes.open.empty() &&
                                           m_boxes.texts.contains(QStringLiteral("Connect Failed!\n")),
                                       OpenAbout() != nullptr};
        return at[m_moment];
    }
    void Act(Way w)
    {
        CDialog *f = Front();
        if (!m_boxes.open.empty()) {  // a box in front takes every key and the close box, not the Exit button
            if (w == WorkerRequest)
                m_sim.Freeze();
            else if (w != ExitButton)
                m_boxes.DismissTop();
        } else if (w == Escape || (w == Enter && (f != &m_dlg || !m_dlg.m_treePrinters))) {
            f->PressKey(w == Escape ? Qt::Key_Escape : Qt::Key_Return);
        } else if (w == Enter) {
            m_dlg.m_treePrinters->setFocus();
            QTest::keyClick(m_dlg.m_treePrinters, Qt::Key_Return);
        } else if (w == CloseBox) {
            f->close();
        } else if (w == ExitButton) {
            if (f == &m_dlg && m_dlg.isVisible() && m_dlg.m_btnExit)  // a dialog in front blocks the click
                QTest::mouseClick(m_dlg.m_btnExit, Qt::LeftButton);
        } else if (m_moment == Polling || m_moment == AboutBox || m_moment == ConnectFailed) {
            m_sim.Freeze();  // the server falls silent: the worker warns, then closes the window
        } else {
            if (m_poster.joinable())
                m_poster.join();
            m_poster = std::thread([main = m_dlg.GetSafeHwnd()] { PostMessage(main, WM_CLOSE); });
        }
    }
    // What the person does runs from the event loop, not inside the tick: a modal run it starts must not hold the tick
    // that has to answer it.
    void Later(std::function<void()> what) { QTimer::singleShot(0, &m_person, std::move(what)); }
    void Tick(Way way)
    {
        if (!m_sinceClose.isValid()) {  // reaching the moment, then waiting a while in it
            if (m_actAt < 0 && Reached())
                m_actAt = m_clock.elapsed() + Between(0, m_moment == Polling ? 1500 : 600);
            else if (m_actAt < 0)
                Later([this] { Advance(); });
            else if (m_clock.elapsed() >= m_actAt)
                m_sinceClose.start(), Later([this, way] { Act(way); });
            return;
        }
        // Afterwards a person answers every box and, until the program has begun to close, presses Escape on whatever
        // is in front.
        const qint64 t = m_sinceClose.elapsed();
        if (!m_boxes.open.empty() && m_dismissAt < 0) {
            m_dismissAt = t + Between(20, 300);
        } else if (!m_boxes.open.empty() && t >= m_dismissAt) {
            m_boxes.DismissTop();
            m_dismissAt = -1;
        } else if (m_boxes.open.empty() && !m_dlg.ShutdownBegun() && t >= m_nextEscape) {
            m_nextEscape = t + 400;
            Later([this] { Act(Escape); });
        }
    }

    Moment m_moment;
    std::mt19937 &m_random;
    SimulatorProcess &m_sim;
    EventHandle m_workerDone = CreateEvent();
    MessageBoxService m_service;
    Boxes m_boxes;
    CMonitorDlg m_dlg;
    std::thread m_poster;
    QObject m_person;
    QElapsedTimer m_clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    QElapsedTimer m_sinceClose;
    qint64 m_actAt = -1, m_nextEscape = 700, m_dismissAt = -1;
    bool m_aboutAsked = false;
};

QString CloseOnce(Moment moment, Way way, std::mt19937 &random, qint64 &closeMs)
{
    const auto between = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    // For the notice and the search: no server to find, or one that answers late.
    const std::vector<std::string> unseen =
        between(0, 1) ? std::vector<std::string>{"--no-discovery"}
                      : std::vector<std::string>{"--delay-ms", std::to_string(between(200, 1200))};
    const std::vector<std::string> simArgs[kMomentCount] = {
        unseen, unseen, {}, {"--no-discovery"}, {}, {"--stop-after", std::to_string(between(1, 2))}, {}};
    SimulatorProcess sim(simArgs[moment]);
    if (!sim.Port())
        return "the simulator did not start";
    CloseRun run(moment, random, sim);
    return run.Run(way, closeMs);
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
