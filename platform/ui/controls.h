// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The common controls the templates use, on Qt widgets.
#pragma once
#include "platform/win_types.h"

#include <QLineEdit>
#include <QListWidget>
#include <QTreeWidget>
#include <array>

namespace platform {

// The accessible child that stands for an item's cell, as Qt's item views
// number them: its visible row, after one row of headings, times the columns,
// plus its column. Renamed items are announced by it.
int AccessibleChildIndex(const QTreeView &view, const QModelIndex &index);

// The tree view of a template: one column, no header.
class TreeView : public QTreeWidget {
    Q_OBJECT
public:
    explicit TreeView(QWidget *parent = nullptr);
};

// A list view in report style: columns with headings, rows of texts.
class ReportListView : public QTreeWidget {
    Q_OBJECT
public:
    explicit ReportListView(QWidget *parent = nullptr);
    int InsertColumn(int column, const QString &heading, int width);
    void DeleteAllItems();
    int InsertItem(int row, const QString &text);
    void SetItemText(int row, int column, const QString &text);
    QString GetItemText(int row, int column) const;
    int GetItemCount() const { return topLevelItemCount(); }
};

// A sorted list box: entries in ascending text order without regard to case,
// duplicates kept, single selection. Its one caret is the selection: Home, End,
// the arrows, Page Up and Page Down, and a click select the entry they land on,
// also when it is the current one already; Space selects the current entry.
// The caret rests on the first entry once there is one, with nothing selected
// until the user moves it or a selection is set.
class SortedListBox : public QListWidget {
    Q_OBJECT
public:
    explicit SortedListBox(QWidget *parent = nullptr);
    int AddString(const QString &text);
    int GetCurSel() const;  // -1 when nothing is selected
    void SetCurSel(int index);
    QString GetText(int index) const;
    int GetCount() const { return count(); }
    int FindString(const QString &prefix) const;  // first entry starting with prefix, -1 if none

protected:
    void keyPressEvent(QKeyEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override;

private:
    void SelectCurrent();
};

class IpAddressField;

// The four-field IPv4 entry. Each field takes 0 to 255; a dot or a third digit
// moves on to the next field, Backspace in an empty field moves back; a pasted
// dotted address fills all four fields or nothing.
class IpAddressEdit : public QWidget {
    Q_OBJECT
public:
    explicit IpAddressEdit(QWidget *parent = nullptr);
    // True only when all four fields are empty.
    bool IsBlank() const;
    // The packed value, first field in the top byte, blank fields as 0;
    // returns the number of non-blank fields.
    int GetAddress(DWORD &address) const;
    void SetAddress(DWORD address);
    // Each field is read out with the control's name and its place: "NAME field 2 of 4".
    void NameFields(const QString &name);
    IpAddressField *Field(int index) const { return m_fields[index]; }

private:
    friend class IpAddressField;
    void FocusField(int index, bool atEnd);
    bool PasteAddress(const QString &text);

    std::array<IpAddressField *, 4> m_fields{};
};

class IpAddressField : public QLineEdit {
    Q_OBJECT
public:
    IpAddressField(IpAddressEdit *owner, int index);

protected:
    void keyPressEvent(QKeyEvent *e) override;
    void insertFromText(const QString &text);
    void focusOutEvent(QFocusEvent *e) override;
    void inputMethodEvent(QInputMethodEvent *e) override;

private:
    void Clamp();
    IpAddressEdit *m_owner;
    int m_index;
};

}  // namespace platform
