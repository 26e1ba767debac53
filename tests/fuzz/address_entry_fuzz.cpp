// The address entry as a person types, pastes and composes into it with an
// input method, through the control itself, offscreen: after every step each
// field is blank or a number from 0 to 255 in ASCII digits, and at the end the
// blank test and the packed value read back what the fields show.
#include <fuzzer/FuzzedDataProvider.h>

#include "tests/fuzz/fuzz_check.h"

#include "platform/ui/controls.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QTest>
#include <memory>

namespace {

struct Screen {
    int argc = 1;
    char name[16] = "fuzz";
    char *argv[2] = {name, nullptr};
    QApplication app{argc, argv};
    QWidget window;
    platform::IpAddressEdit *edit = new platform::IpAddressEdit(&window);

    Screen()
    {
        edit->setGeometry(10, 8, 160, 24);
        window.show();
        QApplication::setActiveWindow(&window);
        FUZZ_CHECK(QTest::qWaitForWindowActive(&window));
    }
};

Screen *g_screen = nullptr;

// Characters a person may produce: digits, separators, signs, letters, other
// scripts' digits, white space and controls.
QString Text(FuzzedDataProvider &in, std::size_t most)
{
    static const char16_t kChars[] = {u'0', u'1', u'2', u'5', u'9', u'.', u' ', u'+', u'-', u'a', u'x', u'\t',
                                      u'\n', u'\x663', u'\xFF11', u'\x96F6', u'\xB2', u'\x2155', u'e', u','};
    QString s;
    const std::size_t n = in.ConsumeIntegralInRange<std::size_t>(0, most);
    for (std::size_t i = 0; i < n; ++i)
        s += in.ConsumeBool() ? QChar(in.PickValueInArray(kChars)) : QChar(in.ConsumeIntegral<char16_t>());
    return s;
}

void Step(FuzzedDataProvider &in)
{
    platform::IpAddressEdit &edit = *g_screen->edit;
    QWidget *focus = QApplication::focusWidget();
    if (!focus || focus->parentWidget() != &edit)
        focus = edit.Field(0);
    static const Qt::Key kKeys[] = {Qt::Key_0,         Qt::Key_1,     Qt::Key_2,    Qt::Key_5,    Qt::Key_9,
                                    Qt::Key_Period,    Qt::Key_Space, Qt::Key_Backspace, Qt::Key_Delete,
                                    Qt::Key_Left,      Qt::Key_Right, Qt::Key_Home, Qt::Key_End,  Qt::Key_A,
                                    Qt::Key_Minus,     Qt::Key_Tab,   Qt::Key_Return};
    const int kind = in.ConsumeIntegralInRange<int>(0, 6);
    static const bool trace = qEnvironmentVariableIsSet("FUZZ_TRACE");  // replaying a finding step by step
    if (trace)
        std::fprintf(stderr, "step %d in '%s' '%s' '%s' '%s'\n", kind, qPrintable(edit.Field(0)->text()),
                     qPrintable(edit.Field(1)->text()), qPrintable(edit.Field(2)->text()),
                     qPrintable(edit.Field(3)->text()));
    switch (kind) {
    case 0:
    case 1: {  // a key, with or without a modifier
        const Qt::Key key = in.PickValueInArray(kKeys);
        const int mod = in.ConsumeIntegralInRange<int>(0, 7);
        const Qt::KeyboardModifiers m = mod == 1 ? Qt::ShiftModifier : mod == 2 ? Qt::ControlModifier : Qt::NoModifier;
        QTest::keyClick(focus, key, m);
        break;
    }
    case 2: {  // a character the keyboard layout gives, sent as the key's text
        const QString t = Text(in, 1);
        QTest::sendKeyEvent(QTest::Click, focus, Qt::Key_unknown, t, Qt::NoModifier);
        break;
    }
    case 3: {  // a paste
        QApplication::clipboard()->setText(Text(in, 24));
        QTest::keyClick(focus, Qt::Key_V, Qt::ControlModifier);
        break;
    }
    case 4: {  // an input method: composing text, then committing it
        QInputMethodEvent compose(Text(in, 4), {});
        QApplication::sendEvent(focus, &compose);
        QInputMethodEvent commit;
        commit.setCommitString(Text(in, 6), in.ConsumeIntegralInRange<int>(-3, 3), in.ConsumeIntegralInRange<int>(0, 3));
        QApplication::sendEvent(focus, &commit);
        break;
    }
    case 5: {  // the mouse puts the focus, the cursor or a selection somewhere
        auto *field = edit.Field(in.ConsumeIntegralInRange<int>(0, 3));
        field->setFocus(Qt::MouseFocusReason);
        const int a = in.ConsumeIntegralInRange<int>(0, 3);
        field->setSelection(a, in.ConsumeIntegralInRange<int>(-3, 3));
        break;
    }
    case 6:  // undo, redo, cut and select-all shortcuts
        QTest::keyClick(focus, in.PickValueInArray({Qt::Key_Z, Qt::Key_Y, Qt::Key_X, Qt::Key_A}), Qt::ControlModifier);
        break;
    }
}

void CheckFields()
{
    for (int i = 0; i < 4; ++i) {
        const QString t = g_screen->edit->Field(i)->text();
        bool digits = t.size() <= 3;
        for (QChar c : t)
            digits &= c >= QLatin1Char('0') && c <= QLatin1Char('9');
        FUZZ_CHECK_MSG(digits && (t.isEmpty() || t.toInt() <= 255),
                       "field " + std::to_string(i) + " holds '" + t.toStdString() + "'");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    g_screen = new Screen;  // kept for the whole run, as a dialog's control would be
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    platform::IpAddressEdit &edit = *g_screen->edit;
    for (int i = 0; i < 4; ++i)
        edit.Field(i)->setText(QString());
    edit.Field(0)->setFocus(Qt::OtherFocusReason);
    for (int step = 0; step < 24 && in.remaining_bytes() > 0; ++step) {
        Step(in);
        CheckFields();
    }
    // Focus leaving the control changes nothing that was already in range.
    // Blank, partial and full addresses read back as the fields show them.
    bool blank = true;
    platform::DWORD packed = 0;
    int filled = 0;
    for (int i = 0; i < 4; ++i) {
        const QString t = edit.Field(i)->text();
        blank &= t.isEmpty();
        filled += t.isEmpty() ? 0 : 1;
        packed |= static_cast<platform::DWORD>(t.isEmpty() ? 0 : t.toInt()) << (8 * (3 - i));
    }
    FUZZ_CHECK(edit.IsBlank() == blank);
    platform::DWORD value = 0xDEADBEEF;
    FUZZ_CHECK(edit.GetAddress(value) == filled);
    FUZZ_CHECK(value == packed);
    return 0;
}
