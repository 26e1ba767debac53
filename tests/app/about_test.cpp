// The About box, on its own and opened from the main window's system menu.
#include "app/monitor_dlg.h"
#include "dialogs/about_dlg.h"
#include "platform/ui/message_box.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QtTest>
#include <memory>

using namespace platform;

namespace {

constexpr int kWatchdogEnded = 99;

CAboutDlg *RunningAbout()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *about = qobject_cast<CAboutDlg *>(w))
            if (about->IsRunning())
                return about;
    return nullptr;
}

int AboutBoxesAlive()
{
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        n += qobject_cast<CAboutDlg *>(w) ? 1 : 0;
    return n;
}

QString VersionText(const CAboutDlg &about)
{
    auto *label = qobject_cast<QLabel *>(about.GetDlgItem(IDC_VERSION_TEXT));
    return label ? label->text() : QStringLiteral("<no control 1016>");
}

// What the user saw in each About box that opened.
struct Seen {
    QStringList captions;
    QStringList versions;
};

// Presses Escape in whichever About box is running once its loop turns, and
// ends any run still open after a while so that a fault cannot hang the test.
class AboutCloser {
public:
    explicit AboutCloser(Seen &seen)
    {
        m_close.setSingleShot(true);
        QObject::connect(&m_close, &QTimer::timeout, [&seen] {
            if (CAboutDlg *about = RunningAbout()) {
                seen.captions << about->GetWindowText();
                seen.versions << VersionText(*about);
                about->PressKey(Qt::Key_Escape);
            }
        });
        m_watchdog.setSingleShot(true);
        QObject::connect(&m_watchdog, &QTimer::timeout, [] {
            while (CAboutDlg *about = RunningAbout())
                about->EndDialog(kWatchdogEnded);
        });
    }
    void Arm()
    {
        m_close.start(0);
        m_watchdog.start(5000);
    }

private:
    QTimer m_close;
    QTimer m_watchdog;
};

}  // namespace

class AboutTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void aboutBox_data();
    void aboutBox();
    void systemCommand_data();
    void systemCommand();
    void secondOpeningShowsTheSameTexts();

private:
    int m_boxes = 0;
};

void AboutTest::initTestCase()
{
#ifdef KESTRUM_HAVE_RESOURCES
    Q_INIT_RESOURCE(resources);
#endif
    SetMessageBoxHook([this](const MessageBoxCall &) {
        ++m_boxes;
        return IDOK;
    });
}

void AboutTest::cleanupTestCase() { SetMessageBoxHook(nullptr); }

void AboutTest::cleanup()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        w->hide();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(m_boxes, 0);
}

void AboutTest::aboutBox_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("result");
    enum { OkButton, Enter, Escape, CloseBox };
    QTest::newRow("OK") << int(OkButton) << IDOK;
    QTest::newRow("Enter") << int(Enter) << IDOK;
    QTest::newRow("Escape") << int(Escape) << IDCANCEL;
    QTest::newRow("close box") << int(CloseBox) << IDCANCEL;
}

void AboutTest::aboutBox()
{
    QFETCH(int, action);
    QFETCH(int, result);
    CAboutDlg about;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, &about, [&about] { about.EndDialog(kWatchdogEnded); });
    watchdog.start(5000);

    QString caption, version;
    bool okFocused = false;
    bool iconShown = false;
    QTimer::singleShot(0, &about, [&] {
        caption = about.GetWindowText();
        version = VersionText(about);
        okFocused = about.focusWidget() && about.focusWidget() == about.GetDlgItem(IDOK);
        if (auto *icon = qobject_cast<QLabel *>(about.GetDlgItem(IDC_STATIC)))  // the first static: the icon
            iconShown = !icon->pixmap().isNull();
        switch (action) {
        case 0: QTest::mouseClick(about.GetDlgItem(IDOK), Qt::LeftButton); break;
        case 1: about.PressKey(Qt::Key_Return); break;
        case 2: about.PressKey(Qt::Key_Escape); break;
        default: {
            QCloseEvent close;
            QCoreApplication::sendEvent(&about, &close);
            QCoreApplication::sendPostedEvents(&about, 0);
        }
        }
    });
    QCOMPARE(about.DoModal(), result);
    QCOMPARE(caption, QString("About USB Kestrum"));
    QCOMPARE(version, QString("USB Kestrum Ver 1.0"));
    QVERIFY(okFocused);
#ifdef KESTRUM_HAVE_RESOURCES
    QVERIFY(iconShown);
#else
    Q_UNUSED(iconShown);
#endif
    // OK reads the text back; either way the member keeps its value.
    QCOMPARE(about.m_strVersion, QString("USB Kestrum Ver 1.0"));
}

void AboutTest::systemCommand_data()
{
    QTest::addColumn<uint>("command");
    QTest::addColumn<int>("openings");
    QTest::newRow("16, the About entry") << 16u << 1;
    QTest::newRow("17") << 17u << 1;
    QTest::newRow("31") << 31u << 1;
    QTest::newRow("upper bits ignored") << 0x10010u << 1;
    QTest::newRow("15") << 15u << 0;
    QTest::newRow("32") << 32u << 0;
    QTest::newRow("move (0xF010)") << 0xF010u << 0;
}

void AboutTest::systemCommand()
{
    QFETCH(uint, command);
    QFETCH(int, openings);
    CMonitorDlg monitor(nullptr, [](std::shared_ptr<WorkerHost>) {});
    const QString title = monitor.GetWindowText();
    Seen seen;
    AboutCloser closer(seen);
    closer.Arm();
    monitor.SendMessage(WM_SYSCOMMAND, command, 0);
    QCOMPARE(seen.captions.size(), openings);
    QCOMPARE(seen.captions, QStringList(openings, "About USB Kestrum"));
    QCOMPARE(seen.versions, QStringList(openings, "USB Kestrum Ver 1.0"));
    QCOMPARE(AboutBoxesAlive(), 0);  // each box is gone once it has closed
    QCOMPARE(monitor.GetWindowText(), title);
}

void AboutTest::secondOpeningShowsTheSameTexts()
{
    CMonitorDlg monitor(nullptr, [](std::shared_ptr<WorkerHost>) {});
    Seen seen;
    for (int i = 0; i < 2; ++i) {
        AboutCloser closer(seen);
        closer.Arm();
        monitor.SendMessage(WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        QCOMPARE(AboutBoxesAlive(), 0);
    }
    QCOMPARE(seen.captions, (QStringList{"About USB Kestrum", "About USB Kestrum"}));
    QCOMPARE(seen.versions, (QStringList{"USB Kestrum Ver 1.0", "USB Kestrum Ver 1.0"}));
}

QTEST_MAIN(AboutTest)
#include "about_test.moc"
