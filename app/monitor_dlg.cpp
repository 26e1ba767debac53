// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/monitor_dlg.h"

#include "app/globals.h"
#include "app/messages.h"
#include "app/worker_host_impl.h"
#include "dialogs/about_dlg.h"
#include "dialogs/product_name.h"
#include "link/status_worker.h"
#include "platform/clock.h"
#include "platform/ui/accessibility.h"
#include "platform/ui/message_box.h"
#include "res/pictures.h"
#include "view/ui/tree_widget_control.h"

#include <QPixmap>
#include <algorithm>
#include <chrono>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace platform;

namespace {

const char *const ChildThreadExitAbnormal = "Child thread exit abnormal !";
const char *const CreateThreadFailed = "Create Thread Failed!\n";
constexpr std::uint32_t WorkerExitLimitMs = 5000;

void RunStatusWorker(std::shared_ptr<WorkerHost> host) { StatusWorker(std::move(host), LinkEndpoints::Defaults()); }

// Waits up to the limit for the worker to end. A box the worker asks for meanwhile
// ("Connect Failed!") is shown from here, since this thread would otherwise be the
// one it waits for; the time the user spends reading it does not count.
std::uint32_t WaitForWorker(const Thread &worker)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(WorkerExitLimitMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (worker.Wait(static_cast<std::uint32_t>(std::clamp<long long>(left, 0, 20))) == WAIT_OBJECT_0)
            return WAIT_OBJECT_0;
        const auto before = Clock::now();
        if (platform::ServePendingMessageBoxes() > 0)
            deadline += Clock::now() - before;
        else if (left <= 0)
            return WAIT_TIMEOUT;
    }
}

}  // namespace

CMonitorDlg::CMonitorDlg(QWidget *parent, WorkerBody worker)
    : CDialog(IDD_MONITOR_DIALOG, parent), m_worker(worker ? std::move(worker) : WorkerBody(RunStatusWorker))
{
    m_hIcon = QIcon();
    m_hIcon.addFile(QString::fromLatin1(AppIconPath(16)), QSize(16, 16));
    m_hIcon.addFile(QString::fromLatin1(AppIconPath(32)), QSize(32, 32));
    setAttribute(Qt::WA_QuitOnClose, false);
}

CMonitorDlg::~CMonitorDlg()
{
    if (m_host)
        m_host->Detach();
}

void CMonitorDlg::DoDataExchange(CDataExchange *dx)
{
    DDX_Control(dx, IDC_DETAILS_EDIT, m_editDetails);
    DDX_Control(dx, IDC_STATUS_LIST, m_listStatus);
    DDX_Control(dx, IDC_PRINTER_TREE, m_treePrinters);
}

BOOL CMonitorDlg::OnInitDialog()
{
    // The title until a server is chosen.
    SetWindowText(QString() + ProductLine() + ProductName());
    ResetWorkerState();
    LoadPictures();
    CreateExitButton();
    if (StartWorker()) {
        m_findingDlg.DoModal();  // the notice, until the worker closes it
    } else {
        // Without a worker nobody would close the notice or poll anything.
        platform::MessageBox(this, QString::fromLatin1(CreateThreadFailed), QString(), MB_OK | MB_ICONHAND);
        m_bFailed = true;
        Shutdown();
        EndDialog(IDCANCEL);
    }
    CDialog::OnInitDialog();  // binds the controls
    AddAboutToSystemMenu();
    setWindowIcon(m_hIcon);
    InitPrinterView();
    return TRUE;
}

void CMonitorDlg::ResetWorkerState()
{
    g_hStopEvent.reset();
    g_hChoiceEvent.reset();
    g_hWorkerThread.reset();
    g_hExitBitmap = nullptr;
}

// The tree's four 16 x 16 images from one strip (no mask), the Exit button's
// face and the banner, which is kept until the process ends.
void CMonitorDlg::LoadPictures()
{
    const QPixmap treeImages = LoadBitmap(QString::fromLatin1(PicturePath(IDB_TREE_IMAGES)), devicePixelRatioF());
    m_imageList.Create(16, 16);
    m_imageList.Add(treeImages);
    const QPixmap exitFace = LoadBitmap(QString::fromLatin1(PicturePath(IDB_EXIT_BUTTON)), devicePixelRatioF());
    if (!exitFace.isNull())
        g_hExitBitmap = new QPixmap(exitFace);
    if (!g_hBannerBitmap) {
        const QPixmap banner = LoadBitmap(QString::fromLatin1(PicturePath(IDB_BANNER)), devicePixelRatioF());
        if (!banner.isNull())
            g_hBannerBitmap = new QPixmap(banner);
    }
}

// The Exit button: 24 x 24, 6 pixels in from the bottom-right corner.
void CMonitorDlg::CreateExitButton()
{
    const QRect client = rect();
    m_btnExit = new QPushButton(QStringLiteral("Exit"), this);
    m_btnExit->setGeometry(QRect(QPoint(client.right() + 1 - 30, client.bottom() + 1 - 30), QSize(24, 24)));
    m_btnExit->setFocusPolicy(Qt::NoFocus);
    m_btnExit->setAutoDefault(false);
    m_btnExit->setToolTip(QStringLiteral("Exit"));
    if (g_hExitBitmap)
        SetButtonBitmap(*m_btnExit, *g_hExitBitmap, QSize(20, 20));
    connect(m_btnExit, &QPushButton::clicked, this, [this] { SendMessage(WM_COMMAND, IDC_EXIT_BUTTON, 0); });
    m_btnExit->show();
}

// The events and the worker, which first waits for the notice; false when the
// thread could not be started.
bool CMonitorDlg::StartWorker()
{
    g_hStopEvent = CreateEvent();
    g_hChoiceEvent = CreateEvent();
    m_host = std::make_shared<MonitorWorkerHost>(this, g_hStopEvent, g_hChoiceEvent);
    auto host = m_host;
    WorkerBody body = m_worker;
    g_hWorkerThread = Thread::Start([host, body] { body(host); });
    return static_cast<bool>(g_hWorkerThread);
}

// The About entry at the end of the system menu.
void CMonitorDlg::AddAboutToSystemMenu()
{
    if (!GetSystemMenu())
        return;
    const QString about = QStringLiteral("&About ") + ProductLine() + ProductName() + QStringLiteral("...");
    AppendSystemMenuSeparator();
    AppendSystemMenuItem(IDM_ABOUTBOX, about);
}

BOOL CMonitorDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if ((wParam & 0xFFFF) == IDC_EXIT_BUTTON) {
        PostMessage(GetSafeHwnd(), WM_CLOSE, 0, 0);
        return FALSE;
    }
    return CDialog::OnCommand(wParam, lParam);
}

LRESULT CMonitorDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_SYSCOMMAND: OnSysCommand(static_cast<UINT>(wParam), lParam); return 0;
    case WM_STATUS_REPLY: return OnStatusReply(wParam, lParam);
    case WM_ASK_SERVER_ADDRESS: return OnAskServerAddress(wParam, lParam);
    case WM_SHOW_DETAILS: return OnShowDetails(wParam, lParam);
    case WM_CHOOSE_SERVER: return OnChooseServer(wParam, lParam);
    case WM_CLOSE: OnClose(); return 0;
    default: return CDialog::WindowProc(msg, wParam, lParam);
    }
}

void CMonitorDlg::OnClose()
{
    Shutdown();
    DefWindowProc(WM_CLOSE, 0, 0);
}

void CMonitorDlg::OnOK()
{
    Shutdown();
    CDialog::OnOK();
}

void CMonitorDlg::OnCancel()
{
    Shutdown();
    CDialog::OnCancel();
}

void CMonitorDlg::Shutdown()
{
    if (m_shutdown != ShutdownState::NotRun)
        return;
    m_shutdown = ShutdownState::Running;
    SetEvent(g_hStopEvent);
    if (g_hWorkerThread && WaitForWorker(*g_hWorkerThread) == WAIT_TIMEOUT) {
        m_bFailed = true;
        platform::MessageBox(this, QString::fromLatin1(ChildThreadExitAbnormal), QString(), MB_OK | MB_ICONEXCLAMATION);
    }
    delete g_hExitBitmap;
    g_hExitBitmap = nullptr;
    // The worker holds its own references to the events and to its thread's
    // state, so a worker that outlived the limit never touches freed objects.
    g_hStopEvent.reset();
    g_hChoiceEvent.reset();
    g_hWorkerThread.reset();
    m_shutdown = ShutdownState::Done;
}

bool CMonitorDlg::Failed() const { return m_bFailed || (m_host && m_host->ShowedError()); }

void CMonitorDlg::OnSysCommand(UINT id, LPARAM lParam)
{
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal();
        return;
    }
    DefWindowProc(WM_SYSCOMMAND, id, lParam);
}
