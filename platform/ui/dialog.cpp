// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ui/dialog.h"

#include "platform/ui/accessibility.h"
#include "platform/ui/controls.h"
#include "platform/ui/message_event.h"
#include "platform/ui/win_app.h"

#include <QCloseEvent>
#include <algorithm>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>

namespace platform {

namespace {

constexpr UINT SC_CLOSE = 0xF060;
const char *const ControlId = "kestrumControlId";

}  // namespace

QEvent::Type MessageEvent::EventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

bool DialogWindow::Post(Message message)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_alive)
        return false;
    // Posted under the lock: the window thread closes the handle under the same
    // lock before the dialog object can go, and Qt drops events of a deleted receiver.
    QCoreApplication::postEvent(m_dialog, new MessageEvent(std::move(message), shared_from_this()));
    return true;
}

bool DialogWindow::IsEnabled() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_alive && m_enabled;
}

void DialogWindow::Close()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_alive = false;
    m_enabled = false;
}

bool DialogWindow::IsAlive() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_alive;
}

CDialog::CDialog(int templateId, QWidget *parent)
    : QDialog(parent), m_template(FindDialogTemplate(templateId)),
      m_font(TemplateFont(m_template.fontFace, m_template.pointSize)),
      m_baseUnits(TemplateBaseUnits(m_template.fontFace, m_template.pointSize, m_font))
{
    InstallAccessibleControls();
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (m_template.systemMenu)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    setWindowFlags(flags);
    setWindowTitle(QString::fromLatin1(m_template.caption));
    setFont(m_font);
    setFixedSize(DialogUnitsToPixelsX(m_template.cx, m_baseUnits), DialogUnitsToPixelsY(m_template.cy, m_baseUnits));
    setSizeGripEnabled(false);
    if (m_template.systemMenu) {
        m_systemMenu = new QMenu(this);
        QAction *close = m_systemMenu->addAction(tr("&Close") + QStringLiteral("\tAlt+F4"));
        connect(close, &QAction::triggered, this, [this] { SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0); });
        auto addShortcut = [this](const QKeySequence &keys, auto slot) {
            auto *shortcut = new QShortcut(keys, this);
            shortcut->setContext(Qt::WindowShortcut);
            connect(shortcut, &QShortcut::activated, this, slot);
        };
        // Alt+Space opens the menu at the window's corner wherever the focus is;
        // desktops keep Alt+Space for their own window menu, so the Menu key and
        // Shift+F10 open it too, at the focused control, as a control's menu opens.
        addShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), [this] { ShowSystemMenuFromKeyboard(false); });
        addShortcut(QKeySequence(Qt::Key_Menu), [this] { ShowSystemMenuFromKeyboard(true); });
        addShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), [this] { ShowSystemMenuFromKeyboard(true); });
        // Where no window manager takes Alt+F4 for itself, it is the Close entry's key.
        addShortcut(QKeySequence(Qt::ALT | Qt::Key_F4), [this] { SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0); });
    }
}

CDialog::~CDialog()
{
    std::shared_ptr<DialogWindow> handle;
    {
        std::lock_guard<std::mutex> lock(m_hwndMutex);
        handle = std::move(m_hWnd);
    }
    if (handle)
        handle->Close();
}

HWND CDialog::GetSafeHwnd() const
{
    std::lock_guard<std::mutex> lock(m_hwndMutex);
    return m_hWnd;
}

bool CDialog::IsWindowEnabled() const
{
    HWND h = GetSafeHwnd();
    return h && h->IsEnabled();
}

QWidget *CDialog::ControlAt(std::size_t templateIndex) const
{
    return templateIndex < m_controls.size() ? m_controls[templateIndex].second : nullptr;
}

QWidget *CDialog::GetDlgItem(int id) const
{
    for (const auto &[controlId, widget] : m_controls)
        if (controlId == id)
            return widget;
    return nullptr;
}

void CDialog::BuildControls()
{
    for (auto &[id, widget] : m_controls)
        delete widget;
    m_controls.clear();
    for (const ControlTemplate &c : m_template.controls)
        m_controls.emplace_back(c.id, CreateControl(c));
    NameTemplateControls(m_template, m_controls, [this](int id) { return ControlDescription(id); });
}

QWidget *CDialog::CreateControl(const ControlTemplate &c)
{
    QWidget *w = nullptr;
    switch (c.kind) {
    case ControlKind::TreeView: w = new TreeView(this); break;
    case ControlKind::ListView: w = new ReportListView(this); break;
    case ControlKind::Edit: w = CreateEdit(c); break;
    case ControlKind::StaticText: w = CreateStaticText(c); break;
    case ControlKind::StaticIcon: w = CreateStaticIcon(); break;
    case ControlKind::ListBox: w = new SortedListBox(this); break;
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: w = CreatePushButton(c); break;
    case ControlKind::IpAddress: w = new IpAddressEdit(this); break;
    }
    PlaceControl(*w, c);
    return w;
}

QWidget *CDialog::CreateEdit(const ControlTemplate &c)
{
    auto *edit = new QPlainTextEdit(this);
    edit->setReadOnly(true);
    edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // Tab stops every 32 dialog units, as a multi-line edit sets them.
    edit->setTabStopDistance(DialogUnitsToPixelsX(32, m_baseUnits));
    edit->setPlainText(QString::fromLatin1(c.text));
    return edit;
}

QWidget *CDialog::CreateStaticText(const ControlTemplate &c)
{
    auto *label = new QLabel(QString::fromLatin1(c.text), this);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);  // left-aligned static text breaks at words, as it always has
    return label;
}

QWidget *CDialog::CreateStaticIcon()
{
    auto *label = new QLabel(this);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QWidget *CDialog::CreatePushButton(const ControlTemplate &c)
{
    auto *button = new QPushButton(QString::fromLatin1(c.text), this);
    button->setAutoDefault(false);
    button->setDefault(false);
    const int id = c.id;
    connect(button, &QPushButton::clicked, this, [this, id] { SendMessage(WM_COMMAND, static_cast<WPARAM>(id), 0); });
    return button;
}

// What every control gets: its id, its rectangle, its place in the tab order and its frame.
void CDialog::PlaceControl(QWidget &w, const ControlTemplate &c)
{
    w.setProperty(ControlId, c.id);
    w.setGeometry(DialogUnitsToPixels(QRect(c.x, c.y, c.cx, c.cy), m_baseUnits));
    if (!c.tabStop && c.kind != ControlKind::StaticText && c.kind != ControlKind::StaticIcon)
        w.setFocusPolicy(Qt::ClickFocus);
    if (c.staticEdge) {
        if (auto *frame = qobject_cast<QFrame *>(&w)) {
            frame->setFrameShape(QFrame::Panel);
            frame->setFrameShadow(QFrame::Sunken);
            frame->setLineWidth(1);
        }
    }
    w.show();
    // A menu asked for from the keyboard in a control (the X server turns the
    // Menu key into one) is the window's own menu.
    if (m_systemMenu) {
        w.installEventFilter(this);
        for (QWidget *part : w.findChildren<QWidget *>())
            part->installEventFilter(this);
    }
}

void CDialog::FocusFirstTabStop()
{
    for (const ControlTemplate &c : m_template.controls)
        if (c.tabStop)
            if (QWidget *w = GetDlgItem(c.id)) {
                w->setFocus(Qt::TabFocusReason);
                return;
            }
}

void CDialog::PlaceWindow(CDialog *owner)
{
    if (!m_template.centred) {
        move(0, 0);
        return;
    }
    QRect area;
    if (owner && owner->isVisible())
        area = owner->frameGeometry();
    else if (QScreen *screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    QRect r(QPoint(0, 0), size());
    r.moveCenter(area.center());
    move(r.topLeft());
}

int CDialog::DoModal()
{
    if (m_running)
        return -1;
    CDialog *owner = AfxGetMainWnd();
    if (owner == this)
        owner = nullptr;

    BuildControls();
    m_result = -1;
    m_ended = false;
    auto handle = std::make_shared<DialogWindow>(this);
    {
        std::lock_guard<std::mutex> lock(m_hwndMutex);
        m_hWnd = handle;
    }
    m_running = true;
    m_owner = owner;
    if (owner)
        owner->m_ownedRunning.push_back(this);
    if (owner && owner->m_ownedRuns++ == 0)
        if (HWND oh = owner->GetSafeHwnd())
            static_cast<DialogWindow *>(oh.get())->SetEnabled(false);

    if (OnInitDialog())
        FocusFirstTabStop();
    if (!m_ended) {
        PlaceWindow(owner);
        setWindowModality(Qt::ApplicationModal);
        show();
        if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
            raise();
            activateWindow();
        }
        handle->SetEnabled(m_ownedRuns == 0);
        QEventLoop loop;
        m_loop = &loop;
        loop.exec(QEventLoop::DialogExec);
        m_loop = nullptr;
    }

    hide();
    handle->Close();
    {
        std::lock_guard<std::mutex> lock(m_hwndMutex);
        if (m_hWnd == handle)
            m_hWnd.reset();
    }
    m_running = false;
    m_owner = nullptr;
    if (owner)
        owner->m_ownedRunning.erase(std::remove(owner->m_ownedRunning.begin(), owner->m_ownedRunning.end(), this),
                                    owner->m_ownedRunning.end());
    if (owner && --owner->m_ownedRuns == 0)
        if (HWND oh = owner->GetSafeHwnd())
            static_cast<DialogWindow *>(oh.get())->SetEnabled(owner->m_loop != nullptr);
    m_runsEnded.fetch_add(1);
    return m_result;
}

void CDialog::EndDialog(int result)
{
    if (!m_running || m_ended)
        return;
    m_result = result;
    m_ended = true;
    // The dialogs this one owns end with it, as owned windows go with their
    // owner: a run nested over it would otherwise keep its own run from ending.
    const std::vector<CDialog *> owned = m_ownedRunning;
    for (auto it = owned.rbegin(); it != owned.rend(); ++it)
        (*it)->EndDialog(IDCANCEL);
    // The window goes at once; its run returns once control is back in its loop.
    hide();
    if (HWND h = GetSafeHwnd())
        static_cast<DialogWindow *>(h.get())->Close();
    if (m_loop)
        m_loop->exit(0);
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx{saveAndValidate != 0, this};
    DoDataExchange(&dx);
    return TRUE;
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM)
{
    switch (static_cast<int>(wParam & 0xFFFF)) {
    case IDOK: OnOK(); return TRUE;
    case IDCANCEL: OnCancel(); return TRUE;
    default: return FALSE;
    }
}

LRESULT CDialog::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COMMAND) {
        OnCommand(wParam, lParam);
        return 0;
    }
    return DefWindowProc(msg, wParam, lParam);
}

LRESULT CDialog::DefWindowProc(UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_CLOSE:
        // Behind what is already queued, as a dialog's close request always has been.
        PostMessage(GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0);
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE && m_template.systemMenu)
            SendMessage(WM_CLOSE);
        return 0;
    default: return 0;
    }
}

bool CDialog::event(QEvent *e)
{
    if (e->type() == MessageEvent::EventType()) {
        auto *m = static_cast<MessageEvent *>(e);
        // A message for a run that has ended is dropped, as for a destroyed window.
        if (m->target() && m->target()->IsAlive() && m->target() == GetSafeHwnd()) {
            const Message &msg = m->message();
            WindowProc(msg.msg, msg.wParam, msg.lParam);
        }
        return true;
    }
    return QDialog::event(e);
}

void CDialog::keyPressEvent(QKeyEvent *e)
{
    if (e->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier)) {
        QWidget::keyPressEvent(e);
        return;
    }
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        // A focused push button takes the Enter key for itself; otherwise it is OK.
        int id = IDOK;
        if (auto *button = qobject_cast<QPushButton *>(focusWidget()))
            if (button->parentWidget() == this && button->property(ControlId).isValid())
                id = button->property(ControlId).toInt();
        SendMessage(WM_COMMAND, static_cast<WPARAM>(id), 0);
        return;
    }
    case Qt::Key_Escape: SendMessage(WM_COMMAND, IDCANCEL, 0); return;
    default: QWidget::keyPressEvent(e);
    }
}

void CDialog::PressKey(int qtKey)
{
    QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier);
    keyPressEvent(&press);
}

void CDialog::closeEvent(QCloseEvent *e)
{
    // The close box asks; the dialog decides in its WM_CLOSE handling.
    e->ignore();
    if (m_running && m_template.systemMenu)
        SendMessage(WM_CLOSE);
}

void CDialog::contextMenuEvent(QContextMenuEvent *e)
{
    if (!m_systemMenu)
        return;
    if (e->reason() == QContextMenuEvent::Keyboard)
        ShowSystemMenuFromKeyboard(true);
    else if (!childAt(e->pos()))  // a right-click on the window's background
        ShowSystemMenu(e->globalPos());
}

bool CDialog::eventFilter(QObject *watched, QEvent *e)
{
    if (e->type() == QEvent::ContextMenu && m_systemMenu &&
        static_cast<QContextMenuEvent *>(e)->reason() == QContextMenuEvent::Keyboard) {
        ShowSystemMenuFromKeyboard(true);
        return true;
    }
    return QDialog::eventFilter(watched, e);
}

void CDialog::accept() { SendMessage(WM_COMMAND, IDOK, 0); }
void CDialog::reject() { SendMessage(WM_COMMAND, IDCANCEL, 0); }

QMenu *CDialog::GetSystemMenu() { return m_systemMenu; }

void CDialog::AppendSystemMenuSeparator()
{
    if (m_systemMenu)
        m_systemMenu->addSeparator();
}

void CDialog::AppendSystemMenuItem(UINT id, const QString &text)
{
    if (!m_systemMenu)
        return;
    QAction *action = m_systemMenu->addAction(text);
    connect(action, &QAction::triggered, this, [this, id] { SendMessage(WM_SYSCOMMAND, id, 0); });
}

void CDialog::ShowSystemMenu(const QPoint &globalPos)
{
    if (m_systemMenu)
        m_systemMenu->popup(globalPos);
}

void CDialog::ShowSystemMenuFromKeyboard(bool atFocus)
{
    // The Menu key can arrive both as a key and as a menu request: one menu.
    if (!m_systemMenu || m_systemMenu->isVisible())
        return;
    QPoint at = mapToGlobal(QPoint(0, 0));
    QWidget *focus = focusWidget();
    if (atFocus && focus && focus != this && isAncestorOf(focus) && focus->isVisible())
        at = focus->mapToGlobal(QPoint(0, 0));
    m_systemMenu->popup(at);
    // Opened from the keyboard, the menu starts on its first entry, ready for
    // the arrow keys, Enter or an underlined letter.
    for (QAction *action : m_systemMenu->actions())
        if (!action->isSeparator() && action->isEnabled() && action->isVisible()) {
            m_systemMenu->setActiveAction(action);
            break;
        }
}

void DDX_LBString(CDataExchange *dx, int id, QString &value)
{
    auto *list = dx->m_pDlgWnd->Item<SortedListBox>(id);
    if (!list)
        return;
    if (dx->m_bSaveAndValidate) {
        int sel = list->GetCurSel();
        value = sel >= 0 ? list->GetText(sel) : QString();
    } else {
        list->SetCurSel(list->FindString(value));
    }
}

void DDX_Text(CDataExchange *dx, int id, QString &value)
{
    QWidget *w = dx->m_pDlgWnd->GetDlgItem(id);
    auto *label = qobject_cast<QLabel *>(w);
    if (!label)
        return;
    if (dx->m_bSaveAndValidate)
        value = label->text();
    else
        label->setText(value);
}

}  // namespace platform
