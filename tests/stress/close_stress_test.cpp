// The real main window with the real worker against the simulator on loopback,
// closed at random moments by every way a person (or the worker) closes it.
// Each run must end within 6 s of the close, with no false "Child thread exit
// abnormal !" and no sanitizer report. KESTRUM_STRESS_RUNS runs (default 25)
// from KESTRUM_STRESS_SEED (default: from the clock), which is printed.
#include "tests/stress/simulator_process.h"

#include "app/globals.h"
#include "app/messages.h"
#include "app/monitor_dlg.h"
#include "dialogs/about_dlg.h"
#include "link/status_worker.h"
#include "platform/socket.h"
#include "platform/ui/message_box.h"
#include "platform/ui/win_app.h"
#include "view/printer_tree.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <arpa/inet.h>
#include <chrono>
#include <random>
#include <thread>

using namespace platform;

namespace {

enum class Moment { Notice, Search, ServerList, AddressEntry, Polling, ConnectFailed, AboutBox, Count };
enum class Way { Escape, Enter, CloseBox, ExitButton, WorkerRequest, Count };
const char *const kMoments[] = {"notice up", "search behind the window", "server list", "address entry",
                                "polling", "Connect Failed up", "About box open"};
const char *const kWays[] = {"Escape", "Enter", "close box", "Exit button", "worker's close request"};
constexpr qint64 kCloseLimitMs = 6000;

struct App : CWinApp {
    explicit App(CDialog &dlg) { m_pMainWnd = &dlg; }
    ~App() override { m_pMainWnd = nullptr; }
};

// Message boxes stand open, as a real one would, until the driver answers them.
class Boxes {
public:
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
    bool Up() const { return !open.empty(); }
    void DismissTop() { if (!open.empty()) open.back()->exit(0); }
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

struct Run {
    Moment moment;
    Way way;
    std::mt19937 &random;
    QString failure;
    qint64 closeMs = -1;

    int Between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); }

    void Go()
    {
        std::vector<std::string> simArgs;
        if (moment == Moment::Notice || moment == Moment::Search)
            simArgs = Between(0, 1) ? std::vector<std::string>{"--no-discovery"}
                                    : std::vector<std::string>{"--delay-ms", std::to_string(Between(200, 1200))};
        else if (moment == Moment::AddressEntry)
            simArgs = {"--no-discovery"};
        else if (moment == Moment::ConnectFailed)
            simArgs = {"--stop-after", std::to_string(Between(1, 2))};
        SimulatorProcess sim(simArgs, 60);
        if (!sim.Port()) {
            failure = "the simulator did not start";
            return;
        }
        const LinkEndpoints ep = LoopbackEndpoints(sim.Port(), static_cast<std::uint32_t>(Between(700, 2500)));
        EventHandle workerDone = CreateEvent();

        g_nPrinterItems = 0;
        MessageBoxService service;
        Boxes boxes;
        CMonitorDlg dlg(nullptr, [ep, workerDone](std::shared_ptr<WorkerHost> host) {
            StatusWorker(std::move(host), ep);
            workerDone->Set();
        });
        App app(dlg);
        std::thread poster;

        enum { Reaching, Waiting, Closing } phase = Reaching;
        QElapsedTimer clock, sinceClose;
        clock.start();
        qint64 actAt = 0, nextFallback = 0, dismissAt = -1;
        bool aboutAsked = false;

        auto front = [&]() -> CDialog * {
            if (CAboutDlg *about = OpenAbout())
                return about;
            for (CDialog *d : {static_cast<CDialog *>(&dlg.m_serverListDlg),
                               static_cast<CDialog *>(&dlg.m_serverAddressDlg),
                               static_cast<CDialog *>(&dlg.m_findingDlg)})
                if (d->IsRunning())
                    return d;
            return &dlg;
        };
        auto polling = [&] {
            return dlg.isVisible() && dlg.m_treePrinters && dlg.m_treePrinters->topLevelItemCount() &&
                   dlg.m_treePrinters->topLevelItem(0)->childCount() > 0;
        };
        // Gets the program towards the moment: picks the server, opens the About box.
        auto advance = [&] {
            if (dlg.m_serverListDlg.IsRunning() && moment != Moment::ServerList) {
                auto *list = dlg.m_serverListDlg.Item<SortedListBox>(IDC_SERVER_LIST);
                if (list && list->GetCount() > 0) {
                    list->SetCurSel(0);
                    dlg.m_serverListDlg.PressKey(Qt::Key_Return);
                }
            }
            if (dlg.m_serverAddressDlg.IsRunning() && moment != Moment::AddressEntry) {
                dlg.m_serverAddressDlg.m_ipAddressCtrl->SetAddress(0x7F000001);
                dlg.m_serverAddressDlg.PressKey(Qt::Key_Return);
            }
            if (moment == Moment::Search && dlg.m_findingDlg.IsRunning())
                dlg.m_findingDlg.PressKey(Qt::Key_Escape);  // the user ends the notice early
            if (moment == Moment::AboutBox && polling() && !aboutAsked) {
                aboutAsked = true;
                QTimer::singleShot(0, &dlg, [&] { dlg.SendMessage(WM_SYSCOMMAND, IDM_ABOUTBOX, 0); });
            }
        };
        auto reached = [&] {
            switch (moment) {
            case Moment::Notice: return dlg.m_findingDlg.IsRunning();
            case Moment::Search:
                return dlg.isVisible() && dlg.m_findingDlg.RunEnded() && !dlg.m_serverListDlg.IsRunning() &&
                       !dlg.m_serverAddressDlg.IsRunning() && !workerDone->IsSet();
            case Moment::ServerList: return dlg.m_serverListDlg.IsRunning();
            case Moment::AddressEntry: return dlg.m_serverAddressDlg.IsRunning();
            case Moment::Polling: return polling();
            case Moment::ConnectFailed: return boxes.Up() && boxes.texts.contains(QStringLiteral("Connect Failed!\n"));
            case Moment::AboutBox: return OpenAbout() != nullptr;
            default: return false;
            }
        };
        auto act = [&](Way w) {
            if (boxes.Up()) {  // a box in front takes every key and the close box
                if (w != Way::ExitButton && w != Way::WorkerRequest)
                    boxes.DismissTop();
                else if (w == Way::WorkerRequest)
                    sim.Freeze();
                return;
            }
            CDialog *f = front();
            switch (w) {
            case Way::Escape: f->PressKey(Qt::Key_Escape); break;
            case Way::Enter:
                if (f == &dlg && dlg.m_treePrinters) {
                    dlg.m_treePrinters->setFocus();
                    QTest::keyClick(dlg.m_treePrinters, Qt::Key_Return);
                } else {
                    f->PressKey(Qt::Key_Return);
                }
                break;
            case Way::CloseBox: f->close(); break;
            case Way::ExitButton:
                if (f == &dlg && dlg.isVisible() && dlg.m_btnExit)  // a dialog in front blocks the click
                    QTest::mouseClick(dlg.m_btnExit, Qt::LeftButton);
                break;
            case Way::WorkerRequest:
                if (moment == Moment::Polling || moment == Moment::AboutBox || moment == Moment::ConnectFailed) {
                    sim.Freeze();  // the server falls silent: the worker warns, then closes the window
                } else {
                    HWND main = dlg.GetSafeHwnd();
                    if (poster.joinable())
                        poster.join();
                    poster = std::thread([main] { PostMessage(main, WM_CLOSE); });
                }
                break;
            default: break;
            }
        };

        // What the person does runs from the event loop, not inside the tick: a
        // modal run it starts must not hold the tick that has to answer it.
        QObject person;
        auto later = [&](Way w) { QTimer::singleShot(0, &person, [&act, w] { act(w); }); };
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            if (phase == Reaching) {
                if (reached()) {
                    phase = Waiting;
                    actAt = now + Between(0, moment == Moment::Polling ? 1500 : 600);
                } else if (now > 20000) {
                    failure = QStringLiteral("the moment never came");
                    phase = Closing;
                    sinceClose.start();
                } else {
                    QTimer::singleShot(0, &person, advance);
                }
                return;
            }
            if (phase == Waiting && now >= actAt) {
                phase = Closing;
                sinceClose.start();
                later(way);
                nextFallback = 700;
                return;
            }
            if (phase != Closing)
                return;
            // Afterwards a person answers every box, and, until the program has begun
            // to close, presses Escape on whatever is in front.
            if (boxes.Up()) {
                if (dismissAt < 0)
                    dismissAt = sinceClose.elapsed() + Between(20, 300);
                else if (sinceClose.elapsed() >= dismissAt) {
                    boxes.DismissTop();
                    dismissAt = -1;
                }
            } else if (!dlg.ShutdownBegun() && sinceClose.elapsed() >= nextFallback) {
                nextFallback = sinceClose.elapsed() + 400;
                later(Way::Escape);
            }
            if (sinceClose.isValid() && sinceClose.elapsed() > 20000) {  // give up; the check below fails the run
                for (QEventLoop *l : boxes.open)
                    l->exit(0);
                for (CDialog *d : {static_cast<CDialog *>(OpenAbout()), static_cast<CDialog *>(&dlg.m_serverListDlg),
                                   static_cast<CDialog *>(&dlg.m_serverAddressDlg),
                                   static_cast<CDialog *>(&dlg.m_findingDlg), static_cast<CDialog *>(&dlg)})
                    if (d)
                        d->EndDialog(IDCANCEL);
            }
        });
        tick.start(10);
        dlg.DoModal();
        tick.stop();
        if (poster.joinable())
            poster.join();
        if (failure.isEmpty() && sinceClose.isValid())
            closeMs = sinceClose.elapsed();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();

        if (!failure.isEmpty())
            return;
        if (closeMs > kCloseLimitMs)
            failure = QStringLiteral("the run ended %1 ms after the close").arg(closeMs);
        else if (boxes.texts.contains(QStringLiteral("Child thread exit abnormal !")))
            failure = QStringLiteral("false \"Child thread exit abnormal !\"");
        else if (!workerDone->IsSet())
            failure = QStringLiteral("the worker still runs after the window has gone");
        else if (g_hStopEvent || g_hChoiceEvent || g_hWorkerThread)
            failure = QStringLiteral("the shutdown left handles behind");
    }
};

}  // namespace

class CloseStressTest : public QObject {
    Q_OBJECT
private slots:
    void randomMomentCloses()
    {
        const int runs = qEnvironmentVariableIsSet("KESTRUM_STRESS_RUNS") ? qEnvironmentVariableIntValue("KESTRUM_STRESS_RUNS") : 25;
        const unsigned seed = qEnvironmentVariableIsSet("KESTRUM_STRESS_SEED")
                                  ? static_cast<unsigned>(qEnvironmentVariableIntValue("KESTRUM_STRESS_SEED"))
                                  : static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
        std::printf("close stress: seed %u, %d runs (replay: KESTRUM_STRESS_SEED=%u)\n", seed, runs, seed);
        std::mt19937 random(seed);
        // Every moment with every way, in an order of the seed's choosing.
        std::vector<std::pair<Moment, Way>> combos;
        for (int m = 0; m < int(Moment::Count); ++m)
            for (int w = 0; w < int(Way::Count); ++w)
                combos.emplace_back(Moment(m), Way(w));
        std::shuffle(combos.begin(), combos.end(), random);
        int failures = 0;
        for (int i = 0; i < runs; ++i) {
            const auto [moment, way] = combos[static_cast<std::size_t>(i) % combos.size()];
            std::printf("close stress: run %d: %s by %s ...\n", i, kMoments[int(moment)], kWays[int(way)]);
            std::fflush(stdout);
            Run run{moment, way, random, {}, -1};
            run.Go();
            std::printf("close stress: run %d: %s (%lld ms)\n", i,
                        run.failure.isEmpty() ? "ended" : qPrintable(run.failure), static_cast<long long>(run.closeMs));
            std::fflush(stdout);
            failures += run.failure.isEmpty() ? 0 : 1;
        }
        QCOMPARE(failures, 0);
    }
};

QTEST_MAIN(CloseStressTest)
#include "close_stress_test.moc"
