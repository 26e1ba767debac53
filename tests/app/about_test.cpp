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
        if (auto *about = qobject_cast<CAboutDlg *>(w); about && about->IsRunning())
            return about;
    return nullptr;
}

QString Shown(const CAboutDlg &about)
{
    auto *version = qobject_cast<QLabel *>(about.GetDlgItem(IDC_VERSION_TEXT));
    return about.GetWindowText() + " | " + (version ? version->text() : QString("<no control 1016>"));
}

// Ends whatever About box still runs after a while, so that a fault cannot hang the test.
struct Watchdog {
    Watchdog()
    {
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [] {
            while (CAboutDlg *about = RunningAbout())
                about->EndDialog(kWatchdogEnded);
        });
        timer.start(5000);
    }
    QTimer timer;
};

const QString kExpected = "About USB Kestrum | USB Kestrum Ver 1.0";

}  // namespace

class AboutTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
#ifdef KESTRUM_HAVE_RESOURCES
        Q_INIT_RESOURCE(resources);
#endif
        SetMessageBoxHook([this](const MessageBoxCall &) {
            ++m_boxes;
            return IDOK;
        });
    }
    void cleanupTestCase() { SetMessageBoxHook(nullptr); }
    void cleanup()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            w->hide();
        QCOMPARE(m_boxes, 0);
    }
    void aboutBox_data();
    void aboutBox();
    void systemCommand_data();
    void systemCommand();

private:
    int m_boxes = 0;
};

void AboutTest::aboutBox_data()
{
    QTest::addColumn<int>("key");  // 0: a click on OK, -1: the close box
    QTest::addColumn<int>("result");
    QTest::newRow("OK") << 0 << IDOK;
    QTest::newRow("Enter") << int(Qt::Key_Return) << IDOK;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << IDCANCEL;
    QTest::newRow("close box") << -1 << IDCANCEL;
}

void AboutTest::aboutBox()
{
    QFETCH(int, key);
    QFETCH(int, result);
    CAboutDlg about;
    Watchdog watchdog;
    QString shown;
    bool okFocused = false, iconShown = false;
    QTimer::singleShot(0, &about, [&] {
        shown = Shown(about);
        okFocused = about.focusWidget() && about.focusWidget() == about.GetDlgItem(IDOK);
        if (auto *icon = qobject_cast<QLabel *>(about.GetDlgItem(IDC_STATIC)))  // the first static: the icon
            iconShown = !icon->pixmap().isNull();
        QCloseEvent close;
        if (key == 0)
            QTest::mouseClick(about.GetDlgItem(IDOK), Qt::LeftButton);
        else if (key > 0)
            about.PressKey(key);
        else
            QCoreApplication::sendEvent(&about, &close);
        QCoreApplication::sendPostedEvents(&about, 0);  // the Cancel that a close request queues
    });
    QCOMPARE(about.DoModal(), result);
    QCOMPARE(shown, kExpected);
    QVERIFY(okFocused);
#ifdef KESTRUM_HAVE_RESOURCES
    QVERIFY(iconShown);
#endif
    QCOMPARE(about.m_strVersion, QString("USB Kestrum Ver 1.0"));  // OK reads it back unchanged
}

void AboutTest::systemCommand_data()
{
    QTest::addColumn<uint>("command");
    QTest::addColumn<bool>("opens");
    QTest::newRow("16, the About entry") << 16u << true;
    QTest::newRow("17") << 17u << true;
    QTest::newRow("31") << 31u << true;
    QTest::newRow("upper bits ignored") << 0x10010u << true;
    QTest::newRow("15") << 15u << false;
    QTest::newRow("32") << 32u << false;
    QTest::newRow("move (0xF010)") << 0xF010u << false;
}

void AboutTest::systemCommand()
{
    QFETCH(uint, command);
    QFETCH(bool, opens);
    CMonitorDlg monitor(nullptr, [](std::shared_ptr<WorkerHost>) {});
    const QString title = monitor.GetWindowText();
    QStringList seen;
    bool leftOver = false;
    // Twice: each opening builds a fresh box, and the box is gone once it has closed.
    for (int opening = 0; opening < 2; ++opening) {
        Watchdog watchdog;
        QTimer closer;  // fires only inside a box's run; a command that opens nothing leaves it pending
        closer.setSingleShot(true);
        connect(&closer, &QTimer::timeout, [&] {
            if (CAboutDlg *about = RunningAbout()) {
                seen << Shown(*about);
                about->PressKey(Qt::Key_Escape);
            }
        });
        closer.start(0);
        monitor.SendMessage(WM_SYSCOMMAND, command, 0);
        for (QWidget *w : QApplication::topLevelWidgets())
            leftOver = leftOver || qobject_cast<CAboutDlg *>(w);
    }
    QCOMPARE(seen, (opens ? QStringList{kExpected, kExpected} : QStringList()));
    QVERIFY(!leftOver);
    QCOMPARE(monitor.GetWindowText(), title);
}

QTEST_MAIN(AboutTest)
#include "about_test.moc"
