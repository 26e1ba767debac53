// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Template dialogs with modal runs, numbered messages and the dialog keys.
#pragma once
#include "platform/ui/dialog_units.h"
#include "platform/win_types.h"
#include "platform/window.h"
#include "res/dialog_templates.h"

#include <QDialog>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

class QEventLoop;
class QMenu;

namespace platform {

class CDialog;

// The handle of one run of a dialog's window. Other threads may hold it: posts
// and the enabled test stay safe after the window has gone (they do nothing).
class DialogWindow final : public Window, public std::enable_shared_from_this<DialogWindow> {
public:
    explicit DialogWindow(CDialog *dialog) : m_dialog(dialog) {}
    bool Post(Message message) override;
    bool IsEnabled() const override;

    // Window thread only.
    void SetEnabled(bool enabled) { m_enabled = enabled; }
    void Close();
    bool IsAlive() const;

private:
    mutable std::mutex m_mutex;
    CDialog *m_dialog;
    bool m_alive = true;
    std::atomic<bool> m_enabled{false};
};

// Data exchange between controls and members.
struct CDataExchange {
    bool m_bSaveAndValidate;
    CDialog *m_pDlgWnd;
};

class CDialog : public QDialog {
    Q_OBJECT
public:
    explicit CDialog(int templateId, QWidget *parent = nullptr);
    ~CDialog() override;

    // Runs the dialog until it ends: IDOK, IDCANCEL, or -1 when it cannot run.
    // A nested event loop; the application's main window owns the dialog and
    // counts as disabled meanwhile.
    int DoModal();
    void EndDialog(int result);

    // Null while no run is live. Safe from any thread.
    HWND GetSafeHwnd() const;
    // True once a run has ended (or failed to start). Safe from any thread.
    bool RunEnded() const { return m_runsEnded.load() > 0; }
    bool IsRunning() const { return m_running; }
    bool IsWindowEnabled() const;

    QWidget *GetDlgItem(int id) const;
    // The control made from the template's n-th entry (for those without an id of their own).
    QWidget *ControlAt(std::size_t templateIndex) const;
    template <class T>
    T *Item(int id) const
    {
        return qobject_cast<T *>(GetDlgItem(id));
    }
    const DialogTemplate &Template() const { return m_template; }
    const DialogBaseUnits &BaseUnits() const { return m_baseUnits; }

    // Runs the handler before returning (window thread only).
    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) { return WindowProc(msg, wParam, lParam); }
    void SetWindowText(const QString &text) { setWindowTitle(text); }
    QString GetWindowText() const { return windowTitle(); }

    // The system menu: Close, plus what the dialog appends. Null without one.
    QMenu *GetSystemMenu();
    void AppendSystemMenuSeparator();
    void AppendSystemMenuItem(UINT id, const QString &text);
    void ShowSystemMenu(const QPoint &globalPos);
    // As Alt+Space, the Menu key and Shift+F10 open it: at the focused control
    // (or, without one, and always for Alt+Space, at the window's top-left
    // corner), its first entry active.
    void ShowSystemMenuFromKeyboard(bool atFocus);

    // For tests: the Enter and Escape keys as the user presses them.
    void PressKey(int qtKey);

protected:
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange *) {}
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    virtual void OnOK();
    virtual void OnCancel();
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // A short description of a control that the template gives no label, read
    // out by assistive technology and never drawn. None by default.
    virtual QString ControlDescription(int) const { return QString(); }
    // The message map: subclasses handle their messages and pass the rest on.
    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // The default processing of a message: WM_CLOSE queues a Cancel command
    // behind whatever is already posted; system commands do their usual work.
    LRESULT DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam);

    bool event(QEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void contextMenuEvent(QContextMenuEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

public slots:
    void accept() override;
    void reject() override;

private:
    void BuildControls();
    QWidget *CreateControl(const ControlTemplate &c);
    QWidget *CreateEdit(const ControlTemplate &c);
    QWidget *CreateStaticText(const ControlTemplate &c);
    QWidget *CreateStaticIcon();
    QWidget *CreatePushButton(const ControlTemplate &c);
    void PlaceControl(QWidget &w, const ControlTemplate &c);
    void PlaceWindow(CDialog *owner);
    void FocusFirstTabStop();

    const DialogTemplate &m_template;
    QFont m_font;
    DialogBaseUnits m_baseUnits;
    std::vector<std::pair<int, QWidget *>> m_controls;
    mutable std::mutex m_hwndMutex;
    std::shared_ptr<DialogWindow> m_hWnd;
    std::atomic<int> m_runsEnded{0};
    bool m_running = false;
    bool m_ended = false;
    int m_result = -1;
    int m_ownedRuns = 0;                    // dialogs this one owns that are running now
    std::vector<CDialog *> m_ownedRunning;  // the same dialogs, innermost last
    CDialog *m_owner = nullptr;             // while a run is live
    QEventLoop *m_loop = nullptr;
    QMenu *m_systemMenu = nullptr;
};

template <class T>
void DDX_Control(CDataExchange *dx, int id, T *&member)
{
    if (!dx->m_bSaveAndValidate || !member)
        member = dx->m_pDlgWnd->template Item<T>(id);
}

// A list box's selected text; loading selects the first entry that starts with the text.
void DDX_LBString(CDataExchange *dx, int id, QString &value);
// A control's window text.
void DDX_Text(CDataExchange *dx, int id, QString &value);

}  // namespace platform
