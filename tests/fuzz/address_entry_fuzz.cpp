// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The address entry as a person types, pastes and composes into it with an input method, through the control itself,
// offscreen: after every step each field is blank or a number from 0 to 255 in ASCII digits, and at the end the blank
// test and the packed value read back what the fields show.
#include <fuzzer/FuzzedDataProvider.h>

#include "tests/fuzz/fuzz.h"
#include "platform/ui/controls.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QTest>

namespace {

platform::IpAddressEdit *g_edit = nullptr;  // kept for the whole run, as a dialog's control would be

// Digits, separators, signs, letters, other scripts' digits, white space, controls, anything.
QString Text(FuzzedDataProvider &in, std::size_t most)
{
    static const char16_t kChars[] = {u'0',      u'1',      u'2',    u'5',      u'9',  u'.',  u' ',
                                      u'+',      u'-',      u'a',    u'x',      u'\t', u'\n', u'\x663',
                                      u'\xFF11', u'\x96F6', u'\xB2', u'\x2155', u'e',  u','};
    QString s;
    for (std::size_t n = in.ConsumeIntegralInRange<std::size_t>(0, most); n > 0; --n)
        s += in.ConsumeBool() ? QChar(in.PickValueInArray(kChars)) : QChar(in.ConsumeIntegral<char16_t>());
    return s;
}

void Step(FuzzedDataProvider &in)
{
    QWidget *focus = QApplication::focusWidget();
    if (!focus || focus->parentWidget() != g_edit)
        focus = g_edit->Field(0);
    static const Qt::Key kKeys[] = {Qt::Key_0,      Qt::Key_1,     Qt::Key_2,         Qt::Key_5,      Qt::Key_9,
                                    Qt::Key_Period, Qt::Key_Space, Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Left,
                                    Qt::Key_Right,  Qt::Key_Home,  Qt::Key_End,       Qt::Key_A,      Qt::Key_Minus,
                                    Qt::Key_Tab,    Qt::Key_Return};
    switch (in.ConsumeIntegralInRange<int>(0, 6)) {
    case 0:
    case 1: {  // a key, with or without a modifier
        const Qt::Key key = in.PickValueInArray(kKeys);
        const int mod = in.ConsumeIntegralInRange<int>(0, 7);
        QTest::keyClick(focus, key, mod == 1 ? Qt::ShiftModifier : mod == 2 ? Qt::ControlModifier : Qt::NoModifier);
        break;
    }
    case 2:  // a character the keyboard layout gives, sent as the key's text
        QTest::sendKeyEvent(QTest::Click, focus, Qt::Key_unknown, Text(in, 1), Qt::NoModifier);
        break;
    case 3:  // a paste
        QApplication::clipboard()->setText(Text(in, 24));
        QTest::keyClick(focus, Qt::Key_V, Qt::ControlModifier);
        break;
    case 4: {  // an input method: composing text, then committing it over a stretch around the cursor
        QInputMethodEvent compose(Text(in, 4), {}), commit;
        QApplication::sendEvent(focus, &compose);
        const QString committed = Text(in, 6);
        const int from = in.ConsumeIntegralInRange<int>(-3, 3);
        commit.setCommitString(committed, from, in.ConsumeIntegralInRange<int>(0, 3));
        QApplication::sendEvent(focus, &commit);
        break;
    }
    case 5: {  // the mouse puts the focus, the cursor or a selection somewhere
        auto *field = g_edit->Field(in.ConsumeIntegralInRange<int>(0, 3));
        field->setFocus(Qt::MouseFocusReason);
        const int start = in.ConsumeIntegralInRange<int>(0, 3);
        field->setSelection(start, in.ConsumeIntegralInRange<int>(-3, 3));
        break;
    }
    case 6:  // undo, redo, cut and select-all shortcuts
        QTest::keyClick(focus, in.PickValueInArray({Qt::Key_Z, Qt::Key_Y, Qt::Key_X, Qt::Key_A}), Qt::ControlModifier);
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz", *argv[] = {name, nullptr};
    new QApplication(argc, argv);
    auto *window = new QWidget;
    g_edit = new platform::IpAddressEdit(window);
    g_edit->setGeometry(10, 8, 160, 24);
    window->show();
    QApplication::setActiveWindow(window);
    FUZZ_CHECK(QTest::qWaitForWindowActive(window));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    for (int i = 0; i < 4; ++i)
        g_edit->Field(i)->setText(QString());
    g_edit->Field(0)->setFocus(Qt::OtherFocusReason);
    for (int step = 0; step < 24 && in.remaining_bytes() > 0; ++step) {
        Step(in);
        for (int i = 0; i < 4; ++i) {
            const QString t = g_edit->Field(i)->text();
            bool digits = t.size() <= 3;
            for (QChar c : t)
                digits &= c >= QLatin1Char('0') && c <= QLatin1Char('9');
            FUZZ_CHECK(digits && (t.isEmpty() || t.toInt() <= 255),
                       "field " + std::to_string(i) + ": " + t.toStdString());
        }
    }
    // Blank, partial and full addresses read back as the fields show them.
    platform::DWORD packed = 0, value = 0xDEADBEEF;
    int filled = 0;
    for (int i = 0; i < 4; ++i) {
        const QString t = g_edit->Field(i)->text();
        filled += t.isEmpty() ? 0 : 1;
        packed |= static_cast<platform::DWORD>(t.toInt()) << (8 * (3 - i));
    }
    FUZZ_CHECK(g_edit->IsBlank() == (filled == 0));
    FUZZ_CHECK(g_edit->GetAddress(value) == filled && value == packed);
    return 0;
}
