// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: it owns the worker, the choice dialogs and the printer view.
#pragma once
#include "dialogs/finding_dlg.h"
#include "dialogs/server_address_dlg.h"
#include "dialogs/server_list_dlg.h"
#include "link/protocol.h"
#include "link/worker_host.h"
#include "platform/ui/controls.h"
#include "platform/ui/dialog.h"
#include "platform/ui/image_list.h"
#include "view/printer_alerts.h"
#include "view/tree_control.h"

#include <QIcon>
#include <functional>
#include <memory>
#include <netinet/in.h>

class QPainter;
class QPlainTextEdit;
class QPushButton;
class DesktopNotifier;
class MonitorWorkerHost;
class TreeWidgetControl;

constexpr int IDC_EXIT_BUTTON = 5000;
constexpr platform::UINT IDM_ABOUTBOX = 0x0010;

class CMonitorDlg : public platform::CDialog {
    Q_OBJECT
public:
    // What runs on the worker thread; the program's own is the status worker
    // against the real network. Tests hand in their own.
    using WorkerBody = std::function<void(std::shared_ptr<WorkerHost>)>;

    explicit CMonitorDlg(QWidget *parent = nullptr, WorkerBody worker = {});
    ~CMonitorDlg() override;

    platform::ImageList m_imageList;
    int m_bServerChosen = 0;
    sockaddr_in m_serverAddr{};
    QPushButton *m_btnExit = nullptr;
    CServerAddressDlg m_serverAddressDlg;
    CFindingDlg m_findingDlg;
    CServerListDlg m_serverListDlg;
    QPlainTextEdit *m_editDetails = nullptr;
    platform::ReportListView *m_listStatus = nullptr;
    platform::TreeView *m_treePrinters = nullptr;
    QIcon m_hIcon;
    TreeControl::Item m_hRootItem = nullptr;
    TreeControl::Item m_hPrinterItems[PrinterSlots] = {};
    StatusReply m_records{};
    DesktopNotifier *m_pNotifier = nullptr;  // the program's; none in tests

    void Shutdown();
    bool ShutdownBegun() const { return m_shutdown != ShutdownState::NotRun; }
    // True once the run ended on an error message: the worker's, or the warning about the worker.
    bool Failed() const;

    // The printer view.
    void InitPrinterView();
    void ShowPrinterRecord(const PrinterRecord &record);

protected:
    platform::BOOL OnInitDialog() override;
    void DoDataExchange(platform::CDataExchange *dx) override;
    void OnOK() override;
    void OnCancel() override;
    platform::BOOL OnCommand(platform::WPARAM wParam, platform::LPARAM lParam) override;
    platform::LRESULT WindowProc(platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam) override;
    void paintEvent(QPaintEvent *e) override;
    QString ControlDescription(int id) const override;

private:
    enum class ShutdownState { NotRun, Running, Done };

    // The steps of OnInitDialog.
    void ResetWorkerState();
    void LoadPictures();
    void CreateExitButton();
    bool StartWorker();
    void AddAboutToSystemMenu();

    void OnSysCommand(platform::UINT id, platform::LPARAM lParam);
    void OnPaint();
    platform::LRESULT OnStatusReply(platform::WPARAM wParam, platform::LPARAM lParam);
    platform::LRESULT OnShowDetails(platform::WPARAM wParam, platform::LPARAM lParam);
    platform::LRESULT OnChooseServer(platform::WPARAM wParam, platform::LPARAM lParam);
    platform::LRESULT OnAskServerAddress(platform::WPARAM wParam, platform::LPARAM lParam);
    void OnClose();
    void OnSelchangedPrinterTree();
    void ClearDetails();
    void AnnounceAlerts(const StatusReply &reply);
    void RecordChoice(std::uint32_t networkAddress, const QString &shownAddress);
    void RecordRefusal();
    void ReleaseWorkerFromChoice();

    WorkerBody m_worker;
    std::shared_ptr<MonitorWorkerHost> m_host;
    std::unique_ptr<TreeWidgetControl> m_treeControl;
    ShutdownState m_shutdown = ShutdownState::NotRun;
    bool m_bFailed = false;
    AlertTracker m_alerts;
};

// Painting helpers of the main window.
void DrawBitmapAt(QPainter &dc, const QRect &rect, const QPixmap *bitmap);
QFont CreateCaptionFont(const char *faceName, int height, int weight, bool italic);
void DrawEtchedCaption(const QWidget &window, QPainter &dc, const QString &text, int rightMargin);
