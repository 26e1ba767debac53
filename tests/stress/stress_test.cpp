// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The real main window, offscreen, with the real worker against the simulator on loopback (started with --port 0, it
// names its port): closed at random moments by every way a person (or the worker) closes it, and over a long run of
// replies. And the exporter over a long run of probes through its HTTP interface.
#include <httplib.h>  // before Qt, whose keyword macros it must not see

#include "main_window_harness.h"

#include "link/status_worker.h"
#include "res/dialog_templates.h"
#include "bench/wire_replies.h"
#include "view/printer_tree.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <arpa/inet.h>
#include <malloc.h>
#include <sys/prctl.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

using namespace platform;

namespace {

// A program of ours on 127.0.0.1 that names its port on its first line ("listening 127.0.0.1:PORT"), as the simulator
// and the exporter do. It dies with the test, and is killed (even when stopped) with the object.
class ListeningProcess : public QProcess {
public:
    explicit ListeningProcess(QStringList args)
    {
        setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        setProcessChannelMode(QProcess::ForwardedErrorChannel);
        start(args.takeFirst(), args);
        while (!canReadLine() && waitForReadyRead(10000)) {
        }
        unsigned port = 0;
        if (std::sscanf(readLine().constData(), "listening 127.0.0.1:%u", &port) == 1)
            m_port = static_cast<std::uint16_t>(port);
    }
    std::uint16_t Port() const { return m_port; }
    pid_t Pid() const { return static_cast<pid_t>(processId()); }
    // A server that falls silent at once: it keeps its port but answers nothing.
    void Freeze() const { ::kill(Pid(), SIGSTOP); }
    // The worker's "broadcast" reaches the simulator alone, and there is no default gateway to fall back on.
    LinkEndpoints Endpoints(std::uint32_t listenLimitMs) const
    {
        return {htonl(INADDR_LOOPBACK), m_port, [](std::uint8_t *) { return false; }, listenLimitMs};
    }

private:
    std::uint16_t m_port = 0;
};

QStringList Simulator(int maxSeconds, const QStringList &extra = {})
{
    return QStringList{PRINTSIM_PATH, "--bind",  "127.0.0.1",     "--port",
                       "0",           "--quiet", "--max-seconds", QString::number(maxSeconds)} +
           extra;
}

// Picks the first listed server, or types 127.0.0.1; false while there is nothing to answer.
bool AnswerServerChoice(CMonitorDlg &dlg)
{
    if (dlg.m_serverAddressDlg.IsRunning()) {
        dlg.m_serverAddressDlg.m_ipAddressCtrl->SetAddress(0x7F000001);
        dlg.m_serverAddressDlg.PressKey(Qt::Key_Return);
        return true;
    }
    auto *list = dlg.m_serverListDlg.Item<SortedListBox>(IDC_SERVER_LIST);
    if (!dlg.m_serverListDlg.IsRunning() || !list || list->GetCount() == 0)
        return false;
    list->SetCurSel(0);
    dlg.m_serverListDlg.PressKey(Qt::Key_Return);
    return true;
}

enum Moment { Notice, Search, ServerList, AddressEntry, Polling, ConnectFailed, kMomentCount };
enum Way { Escape, Enter, CloseBox, ExitButton, WorkerRequest, kWayCount };
const char *const kMomentNames[] = {"notice up", "search behind the window", "server list", "address entry",
                                    "polling",   "Connect Failed up"};
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

// One run to the moment and a close by the way.
class CloseRun {
public:
    CloseRun(Moment moment, std::mt19937 &random, ListeningProcess &sim)
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
             {static_cast<CDialog *>(&m_dlg.m_serverListDlg), static_cast<CDialog *>(&m_dlg.m_serverAddressDlg),
              static_cast<CDialog *>(&m_dlg.m_findingDlg)})
            if (d->IsRunning())
                return d;
        return &m_dlg;
    }
    bool ShowsPrinters()
    {
        QTreeWidget *tree = m_dlg.m_treePrinters;
        return m_dlg.isVisible() && tree && tree->topLevelItemCount() && tree->topLevelItem(0)->childCount() > 0;
    }
    void Advance()  // towards the moment: the server chosen, the notice ended early
    {
        if (m_moment != ServerList && m_moment != AddressEntry)
            AnswerServerChoice(m_dlg);
        if (m_moment == Search && m_dlg.m_findingDlg.IsRunning())
            m_dlg.m_findingDlg.PressKey(Qt::Key_Escape);
    }
    bool Reached()
    {
        CMonitorDlg &d = m_dlg;
        const bool searching = d.isVisible() && d.m_findingDlg.RunEnded() && !d.m_serverListDlg.IsRunning() &&
                               !d.m_serverAddressDlg.IsRunning() && !m_workerDone->IsSet();
        const bool failedBox = !m_boxes.open.empty() && m_boxes.texts.contains(QStringLiteral("Connect Failed!\n"));
        const bool at[kMomentCount] = {d.m_findingDlg.IsRunning(),       searching,       d.m_serverListDlg.IsRunning(),
                                       d.m_serverAddressDlg.IsRunning(), ShowsPrinters(), failedBox};
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
        } else if (m_moment == Polling || m_moment == ConnectFailed) {
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
    ListeningProcess &m_sim;
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
};

QString CloseOnce(Moment moment, Way way, std::mt19937 &random, qint64 &closeMs)
{
    const auto between = [&](int lo, int hi) { return QString::number(std::uniform_int_distribution(lo, hi)(random)); };
    // For the notice and the search: no server to find, or one that answers late.
    const QStringList unseen =
        between(0, 1) == "0" ? QStringList{"--no-discovery"} : QStringList{"--delay-ms", between(200, 1200)};
    // While polling, a server with one of the faults the window rides out: short replies, every probe answered twice,
    // or a discovery answer that is no answer, so that the address is typed.
    const QStringList faults[] = {{}, {"--reply", "short"}, {"--answer-twice"}, {"--discovery-reply", "garbage"}};
    const QStringList simArgs[kMomentCount] = {
        unseen, unseen, {}, {"--no-discovery"}, faults[between(0, 3).toInt()], {"--stop-after", between(1, 2)}};
    ListeningProcess sim(Simulator(60, simArgs[moment]));
    if (!sim.Port())
        return "the simulator did not start";
    return CloseRun(moment, random, sim).Run(way, closeMs);
}

int EnvironmentInt(const char *name, int otherwise)
{
    return qEnvironmentVariableIsSet(name) ? qEnvironmentVariableIntValue(name) : otherwise;
}

long HeapInUse() { return static_cast<long>(mallinfo2().uordblks); }
int OpenFiles(pid_t pid)
{
    const std::filesystem::path fds = "/proc/" + std::to_string(pid) + "/fd";
    return int(std::distance(std::filesystem::directory_iterator(fds), std::filesystem::directory_iterator()));
}
long ResidentKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

// Wire replies with a different set of slots in use from one to the next; the first slot stays, its printer selected.
std::vector<std::shared_ptr<StatusReply>> ChangingReplies()
{
    std::vector<std::shared_ptr<StatusReply>> replies;
    const auto wire = MakeWireReplies(40);
    for (std::size_t v = 0; v < wire.size(); ++v) {
        replies.push_back(std::make_shared<StatusReply>(DecodeStatusReply(wire[v].data(), wire[v].size())));
        for (std::size_t slot = 1; slot < PrinterSlots; ++slot)
            if ((slot + v) % 3 == 0)
                replies.back()->records[slot].printerName[0] = '\0';
    }
    return replies;
}

}  // namespace

class StressTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Q_INIT_RESOURCE(resources); }

    // Every moment with every way once per run of the suite, in one seed's order, shared out among the shards
    // (KESTRUM_STRESS_SHARD of KESTRUM_STRESS_SHARDS); each shard draws its waits from the seed plus its number.
    void randomMomentCloses()
    {
        const int shard = EnvironmentInt("KESTRUM_STRESS_SHARD", 0),
                  shards = EnvironmentInt("KESTRUM_STRESS_SHARDS", 1);
        const auto seed = static_cast<unsigned>(EnvironmentInt("KESTRUM_STRESS_SEED", int(time(nullptr) % 1000000)));
        std::printf("close stress: seed %u, shard %d of %d (replay: KESTRUM_STRESS_SEED=%u)\n", seed, shard, shards,
                    seed);
        std::mt19937 order(seed), random(seed + unsigned(shard));
        std::vector<std::pair<Moment, Way>> combos;
        for (int m = 0; m < kMomentCount * kWayCount; ++m)
            combos.emplace_back(Moment(m / kWayCount), Way(m % kWayCount));
        std::shuffle(combos.begin(), combos.end(), order);
        int failures = 0;
        for (std::size_t i = std::size_t(shard); i < combos.size(); i += std::size_t(shards)) {
            const auto [moment, way] = combos[i];
            std::printf("close stress: %s by %s: ", kMomentNames[moment], kWayNames[way]);
            std::fflush(stdout);  // a run that hangs or crashes is named before it ends
            qint64 closeMs = -1;
            const QString failure = CloseOnce(moment, way, random, closeMs);
            std::printf("%s (%lld ms)\n", failure.isEmpty() ? "ended" : qPrintable(failure), (long long)closeMs);
            std::fflush(stdout);
            failures += failure.isEmpty() ? 0 : 1;
        }
        QCOMPARE(failures, 0);
    }

    // Replies whose printers come, go and change names, one printer selected so that the status row and the details
    // are rewritten each time (KESTRUM_LONG_RUN_REPLIES of them); the tenth part of them warms up.
    void repliesLeaveTheHeapAndFilesFlat()
    {
        const int total = EnvironmentInt("KESTRUM_LONG_RUN_REPLIES", 20000), warmUp = total / 10;
        const auto replies = ChangingReplies();
        MonitorRun run(QuietWorker(120000));
        auto &dlg = run.dlg;
        long heap[2] = {};
        int files[2] = {}, handled = 0;
        run.drive.Then([&] { return dlg.isVisible(); });
        run.drive.Then([&] {
            for (int sent = 0; sent < total; ++sent) {
                const auto &reply = replies[std::size_t(sent) % replies.size()];
                PostMessage(dlg.GetSafeHwnd(), WM_STATUS_REPLY, reinterpret_cast<WPARAM>(reply.get()), 0, reply);
                if (sent % 100 == 99 || sent == 0 || sent + 1 == warmUp)
                    QCoreApplication::processEvents();
                if (sent == 0)
                    dlg.m_treePrinters->setCurrentItem(dlg.m_treePrinters->topLevelItem(0)->child(0));
                if (sent + 1 == warmUp)
                    heap[0] = HeapInUse(), files[0] = OpenFiles(::getpid());
                handled = sent + 1;
            }
            QCoreApplication::processEvents();
            heap[1] = HeapInUse(), files[1] = OpenFiles(::getpid());
            return dlg.PressKey(Qt::Key_Escape), true;
        });
        dlg.DoModal();
        QVERIFY(!run.drive.Aborted());
        QCOMPARE(handled, total);
        qInfo("%d replies: heap in use %ld bytes after %d, %ld at the end (%+ld); open files %d, then %d", total,
              heap[0], warmUp, heap[1], heap[1] - heap[0], files[0], files[1]);
        QVERIFY2(heap[1] - heap[0] < 256 * 1024, "the heap grew after the warm-up");
        QVERIFY2(files[1] <= files[0], "files were left open");
    }

    // kestrum-probe serve driven only through its HTTP interface, over one kept connection (KESTRUM_LONG_RUN_PROBES
    // probes); after the tenth part its resident memory and open files must stay where they were. The connection is
    // closed, and the server given a moment to close its end, before its files are counted.
    void probesLeaveTheExportersMemoryAndFilesFlat()
    {
        const int total = EnvironmentInt("KESTRUM_LONG_RUN_PROBES", 20000), warmUp = total / 10;
        ListeningProcess sim(Simulator(300)), exporter({PROBE_PATH, "serve", "--listen", "127.0.0.1:0"});
        QVERIFY(sim.Port() && exporter.Port());
        std::unique_ptr<httplib::Client> client;
        const auto get = [&](const std::string &path) {
            if (!client) {
                client = std::make_unique<httplib::Client>("127.0.0.1", exporter.Port());
                client->set_keep_alive(true);
                client->set_read_timeout(5, 0);
            }
            const auto res = client->Get(path);
            return res && res->status == 200 ? res->body : std::string();
        };
        const auto measure = [&](long &rss, int &files) {
            client.reset();
            ::usleep(200 * 1000);
            rss = ResidentKb(exporter.Pid()), files = OpenFiles(exporter.Pid());
        };
        long rss[2] = {};
        int files[2] = {}, up = 0;
        for (int i = 0; i < total; ++i) {
            up += get("/probe?target=127.0.0.1:" + std::to_string(sim.Port())).find("\nkestrum_up 1\n") !=
                  std::string::npos;
            if (i + 1 == warmUp)
                measure(rss[0], files[0]);
        }
        measure(rss[1], files[1]);
        qInfo("%d probes: exporter resident %ld kB after %d, %ld kB at the end (%+ld kB); open files %d, then %d",
              total, rss[0], warmUp, rss[1], rss[1] - rss[0], files[0], files[1]);
        QCOMPARE(up, total);
        QVERIFY2(rss[1] - rss[0] < 1024, "the exporter's resident memory grew after the warm-up");
        QVERIFY2(files[1] <= files[0], "the exporter left files open");
    }
};

QTEST_MAIN(StressTest)
#include "stress_test.moc"
