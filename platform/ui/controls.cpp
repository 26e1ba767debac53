// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ui/controls.h"

#include "text/endpoint.h"

#include <arpa/inet.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QRegularExpressionValidator>

namespace platform {

namespace {

// Only the digits 0 to 9 make an address field; other scripts' digits do not.
bool IsAsciiDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// Qt tells a reader of a changed item only that the model changed: a renamed
// item is announced as such.
void AnnounceRenamedItems(QTreeView &view, const QModelIndex &topLeft, const QModelIndex &bottomRight,
                          const QList<int> &roles)
{
    if (!QAccessible::isActive() || (!roles.isEmpty() && !roles.contains(Qt::DisplayRole)))
        return;  // nobody listens, or a new picture or item data: the name stays
    for (int r = topLeft.row(); r <= bottomRight.row(); ++r)
        for (int column = topLeft.column(); column <= bottomRight.column(); ++column) {
            QAccessibleEvent event(&view, QAccessible::NameChanged);
            event.setChild(AccessibleChildIndex(view, topLeft.sibling(r, column)));
            QAccessible::updateAccessibility(&event);
        }
}

void AnnounceRenames(QTreeView &view)
{
    QObject::connect(view.model(), &QAbstractItemModel::dataChanged, &view,
                     [&view](const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles) {
                         AnnounceRenamedItems(view, topLeft, bottomRight, roles);
                     });
}

}  // namespace

int AccessibleChildIndex(const QTreeView &view, const QModelIndex &index)
{
    int row = 0;
    for (QModelIndex above = view.indexAbove(index.sibling(index.row(), 0)); above.isValid();
         above = view.indexAbove(above))
        ++row;
    return (row + 1) * view.model()->columnCount() + index.column();
}

TreeView::TreeView(QWidget *parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(false);
    setItemsExpandable(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(16, 16));
    setUniformRowHeights(true);  // rows are one line and one icon high; no measuring per change
    AnnounceRenames(*this);
}

ReportListView::ReportListView(QWidget *parent) : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setColumnCount(0);
    setHeaderHidden(true);  // until it gets its columns
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    setUniformRowHeights(true);
    AnnounceRenames(*this);
}

int ReportListView::InsertColumn(int column, const QString &heading, int width)
{
    int n = columnCount();
    if (column > n)
        column = n;
    QStringList labels;
    for (int i = 0; i < n; ++i)
        labels << headerItem()->text(i);
    labels.insert(column, heading);
    setColumnCount(n + 1);
    setHeaderLabels(labels);
    for (int i = 0; i < labels.size(); ++i)
        headerItem()->setTextAlignment(i, Qt::AlignLeft | Qt::AlignVCenter);
    setColumnWidth(column, width);
    setHeaderHidden(false);
    return column;
}

void ReportListView::DeleteAllItems() { clear(); }

int ReportListView::InsertItem(int row, const QString &text)
{
    if (row > topLevelItemCount())
        row = topLevelItemCount();
    auto *item = new QTreeWidgetItem;
    item->setText(0, text);
    insertTopLevelItem(row, item);
    return row;
}

void ReportListView::SetItemText(int row, int column, const QString &text)
{
    if (QTreeWidgetItem *item = topLevelItem(row))
        item->setText(column, text);
}

QString ReportListView::GetItemText(int row, int column) const
{
    QTreeWidgetItem *item = topLevelItem(row);
    return item ? item->text(column) : QString();
}

namespace {

// Sorted as a list box sorts: by text, ignoring case.
class ListBoxEntry : public QListWidgetItem {
public:
    explicit ListBoxEntry(const QString &text) : QListWidgetItem(text) {}
    bool operator<(const QListWidgetItem &other) const override
    {
        return text().compare(other.text(), Qt::CaseInsensitive) < 0;
    }
};

}  // namespace

SortedListBox::SortedListBox(QWidget *parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

int SortedListBox::AddString(const QString &text)
{
    // After the last entry that is not greater, as a sorted list box inserts.
    int row = 0;
    while (row < count() && item(row)->text().compare(text, Qt::CaseInsensitive) <= 0)
        ++row;
    insertItem(row, new ListBoxEntry(text));
    // The first entry takes the caret, unselected; later ones leave it on its entry.
    // So the keys act alike whether or not the list had the focus when the entries came.
    if (!currentIndex().isValid())
        selectionModel()->setCurrentIndex(model()->index(0, 0), QItemSelectionModel::NoUpdate);
    return row;
}

int SortedListBox::GetCurSel() const
{
    const QList<QListWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.first());
}

void SortedListBox::SetCurSel(int index)
{
    if (index < 0 || index >= count())
        clearSelection();
    else
        setCurrentRow(index);
}

QString SortedListBox::GetText(int index) const
{
    QListWidgetItem *entry = item(index);
    return entry ? entry->text() : QString();
}

int SortedListBox::FindString(const QString &prefix) const
{
    for (int i = 0; i < count(); ++i)
        if (item(i)->text().startsWith(prefix, Qt::CaseInsensitive))
            return i;
    return -1;
}

void SortedListBox::SelectCurrent()
{
    const QModelIndex current = currentIndex();
    if (current.isValid() && !selectionModel()->isSelected(current))
        selectionModel()->select(current, QItemSelectionModel::ClearAndSelect);
}

void SortedListBox::keyPressEvent(QKeyEvent *e)
{
    switch (e->key()) {
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        if (e->modifiers() & Qt::AltModifier)
            break;
        // Qt selects only when the caret moves; a key that lands on the current
        // entry (Home on the first, Down on the last) selects it all the same.
        QListWidget::keyPressEvent(e);
        SelectCurrent();
        e->accept();
        return;
    case Qt::Key_Space:
    case Qt::Key_Select:
        if (e->modifiers() & (Qt::AltModifier | Qt::ControlModifier))
            break;
        SelectCurrent();
        e->accept();
        return;
    default: break;
    }
    QListWidget::keyPressEvent(e);
}

QItemSelectionModel::SelectionFlags SortedListBox::selectionCommand(const QModelIndex &index, const QEvent *event) const
{
    // Whatever lands on an entry selects it and only it; nothing clears the
    // selection (Qt would let Ctrl and a click or Space take it away).
    if (!index.isValid())
        return QItemSelectionModel::NoUpdate;
    if (event && event->type() == QEvent::MouseButtonRelease)
        return QItemSelectionModel::NoUpdate;
    return QItemSelectionModel::ClearAndSelect;
}

void SortedListBox::mouseDoubleClickEvent(QMouseEvent *e)
{
    // A double-click selects the entry and does nothing more.
    QListWidget::mousePressEvent(e);
    e->accept();
}

IpAddressEdit::IpAddressEdit(QWidget *parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(0);
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            auto *dot = new QLabel(QStringLiteral("."), this);
            dot->setAlignment(Qt::AlignCenter);
            dot->setBackgroundRole(QPalette::Base);
            layout->addWidget(dot);
        }
        m_fields[i] = new IpAddressField(this, i);
        layout->addWidget(m_fields[i], 1);
    }
    setFocusProxy(m_fields[0]);
    setFocusPolicy(Qt::StrongFocus);
}

bool IpAddressEdit::IsBlank() const
{
    for (IpAddressField *f : m_fields)
        if (!f->text().isEmpty())
            return false;
    return true;
}

int IpAddressEdit::GetAddress(DWORD &address) const
{
    address = 0;
    int filled = 0;
    for (int i = 0; i < 4; ++i) {
        DWORD value = 0;
        if (!m_fields[i]->text().isEmpty()) {
            value = static_cast<DWORD>(std::min(255, m_fields[i]->text().toInt()));
            ++filled;
        }
        address |= value << (8 * (3 - i));
    }
    return filled;
}

void IpAddressEdit::SetAddress(DWORD address)
{
    for (int i = 0; i < 4; ++i)
        m_fields[i]->setText(QString::number((address >> (8 * (3 - i))) & 0xFF));
}

void IpAddressEdit::NameFields(const QString &name)
{
    for (int i = 0; i < 4; ++i)
        m_fields[static_cast<std::size_t>(i)]->setAccessibleName(
            QStringLiteral("%1 field %2 of 4").arg(name).arg(i + 1).trimmed());
}

void IpAddressEdit::FocusField(int index, bool atEnd)
{
    if (index < 0 || index > 3)
        return;
    IpAddressField *f = m_fields[index];
    f->setFocus(Qt::OtherFocusReason);
    if (atEnd)
        f->setCursorPosition(f->text().size());
    else
        f->selectAll();
}

bool IpAddressEdit::PasteAddress(const QString &text)
{
    const std::optional<std::uint32_t> address = ktext::ParseIpv4(text.trimmed().toStdString());
    if (address)
        SetAddress(ntohl(*address));
    return address.has_value();
}

IpAddressField::IpAddressField(IpAddressEdit *owner, int index) : QLineEdit(owner), m_owner(owner), m_index(index)
{
    setFrame(false);
    setMaxLength(3);
    setAlignment(Qt::AlignCenter);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
    // Keys and pastes are filtered above; this also holds for text that arrives
    // another way (input methods, a middle-click selection).
    setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,3}")), this));
}

void IpAddressField::Clamp()
{
    if (!text().isEmpty() && text().toInt() > 255)
        setText(QStringLiteral("255"));
}

void IpAddressField::insertFromText(const QString &pasted)
{
    if (pasted.contains(QLatin1Char('.'))) {
        m_owner->PasteAddress(pasted);  // all four fields or none
        return;
    }
    QString digits;
    for (QChar c : pasted)
        if (IsAsciiDigit(c))
            digits += c;
    if (digits.size() != pasted.trimmed().size())
        return;  // anything but digits is refused whole
    QString next = text();
    next.remove(selectionStart() < 0 ? cursorPosition() : selectionStart(), selectedText().size());
    next.insert(selectionStart() < 0 ? cursorPosition() : selectionStart(), digits);
    if (next.size() > 3)
        return;
    setText(next);
    Clamp();
}

void IpAddressField::keyPressEvent(QKeyEvent *e)
{
    const int key = e->key();
    if (e->matches(QKeySequence::Paste)) {
        insertFromText(QApplication::clipboard()->text());
        return;
    }
    if (key == Qt::Key_Period || key == Qt::Key_Space) {
        if (!text().isEmpty() && !hasSelectedText())
            m_owner->FocusField(m_index + 1, false);
        return;
    }
    if (key == Qt::Key_Backspace && text().isEmpty()) {
        m_owner->FocusField(m_index - 1, true);
        return;
    }
    if (key == Qt::Key_Left && cursorPosition() == 0 && !hasSelectedText()) {
        m_owner->FocusField(m_index - 1, true);
        return;
    }
    if (key == Qt::Key_Right && cursorPosition() == text().size() && !hasSelectedText()) {
        m_owner->FocusField(m_index + 1, false);
        return;
    }
    const QString t = e->text();
    if (!t.isEmpty() && t.at(0).isPrint() && !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        if (!IsAsciiDigit(t.at(0)))
            return;  // only digits go into a field
        if (text().size() >= 3 && !hasSelectedText())
            return;
        QLineEdit::keyPressEvent(e);
        Clamp();
        if (text().size() == 3 && cursorPosition() == 3)
            m_owner->FocusField(m_index + 1, false);
        return;
    }
    QLineEdit::keyPressEvent(e);
}

void IpAddressField::inputMethodEvent(QInputMethodEvent *e)
{
    // An input method's text would pass the key filter by: it is taken as a paste
    // of what it commits. Nothing is composed in place: a field holds digits only.
    const QString commit = e->commitString();
    e->accept();
    if (!commit.isEmpty())
        insertFromText(commit);
}

void IpAddressField::focusOutEvent(QFocusEvent *e)
{
    Clamp();
    QLineEdit::focusOutEvent(e);
}

}  // namespace platform
