// The four-field address entry as the user types and pastes into it.
#include "platform/ui/controls.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QtTest>
#include <memory>

using platform::DWORD;

class AddressControlTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> m_window;  // in a window of its own, as in a dialog
    platform::IpAddressEdit *m_edit = nullptr;

    QStringList Fields() const
    {
        QStringList texts;
        for (int i = 0; i < 4; ++i)
            texts << m_edit->Field(i)->text();
        return texts;
    }

private slots:
    void init()
    {
        m_window = std::make_unique<QWidget>();
        m_edit = new platform::IpAddressEdit(m_window.get());
        m_edit->setGeometry(10, 8, 160, 24);
        m_window->show();
        QApplication::setActiveWindow(m_window.get());
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        m_edit->Field(0)->setFocus();
    }
    void cleanup() { m_window.reset(); }

    void typing_data()
    {
        QTest::addColumn<QString>("keys");  // '\b' is Backspace
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<int>("focused");
        QTest::newRow("dots move on") << "10.0.0.5" << QStringList{"10", "0", "0", "5"} << 3;
        QTest::newRow("third digit moves on") << "19216811" << QStringList{"192", "168", "11", ""} << 2;
        QTest::newRow("dot in an empty field stays") << ".5" << QStringList{"5", "", "", ""} << 0;
        QTest::newRow("300 is clamped to 255") << "300" << QStringList{"255", "", "", ""} << 1;
        QTest::newRow("last field: clamped, no fourth digit") << "1.2.3.2569" << QStringList{"1", "2", "3", "255"} << 3;
        QTest::newRow("letters refused") << "1a2b.x" << QStringList{"12", "", "", ""} << 1;
        QTest::newRow("backspace in an empty field moves back") << "10.\b\b" << QStringList{"1", "", "", ""} << 0;
        QTest::newRow("backspace in the first empty field stays") << "\b7" << QStringList{"7", "", "", ""} << 0;
    }
    void typing()
    {
        QFETCH(QString, keys);
        QFETCH(QStringList, fields);
        QFETCH(int, focused);
        // Each key goes to whichever field has the focus at that moment.
        for (QChar c : keys)
            if (QWidget *target = QApplication::focusWidget(); c == QLatin1Char('\b'))
                QTest::keyClick(target, Qt::Key_Backspace);
            else
                QTest::keyClick(target, c.toLatin1());
        QCOMPARE(Fields(), fields);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(m_edit->Field(focused)));
    }

    void paste_data()
    {
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QStringList>("fields");
        const QStringList unchanged{"7", "", "", ""};
        QTest::newRow("dotted address fills all four") << "192.168.1.20" << QStringList{"192", "168", "1", "20"};
        QTest::newRow("three parts") << "1.2.3" << unchanged;
        QTest::newRow("five parts") << "1.2.3.4.5" << unchanged;
        QTest::newRow("letters") << "a.b.c.d" << unchanged;
        QTest::newRow("a part over 255") << "1.2.3.999" << unchanged;
        QTest::newRow("a negative part") << "-1.2.3.4" << unchanged;
        QTest::newRow("digits and letters into a field") << "12a" << unchanged;
        QTest::newRow("digits into a field are clamped") << "99" << QStringList{"255", "", "", ""};
        QTest::newRow("other scripts' digits refused") << QString::fromUtf16(u"\x663") << unchanged;
        QTest::newRow("full-width digits refused") << QString::fromUtf16(u"\xFF11.2.3.4") << unchanged;
    }
    void paste()
    {
        QFETCH(QString, clipboard);
        QFETCH(QStringList, fields);
        m_edit->Field(0)->setText("7");  // cursor after the 7
        QApplication::clipboard()->setText(clipboard);
        QTest::keyClick(m_edit->Field(0), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(Fields(), fields);
    }

    // Text an input method commits goes through the same door as typed and pasted text.
    void inputMethod_data()
    {
        QTest::addColumn<QString>("commit");
        QTest::addColumn<QStringList>("fields");
        const QStringList unchanged{"7", "", "", ""};
        QTest::newRow("digits") << "3" << QStringList{"73", "", "", ""};
        QTest::newRow("over 255 is clamped") << "99" << QStringList{"255", "", "", ""};
        QTest::newRow("a space refused") << " " << unchanged;
        QTest::newRow("letters refused") << "4x" << unchanged;
        QTest::newRow("other scripts' digits refused") << QString::fromUtf16(u"\x663") << unchanged;
        QTest::newRow("a dotted address fills all four") << "10.0.0.5" << QStringList{"10", "0", "0", "5"};
    }
    void inputMethod()
    {
        QFETCH(QString, commit);
        QFETCH(QStringList, fields);
        m_edit->Field(0)->setText("7");  // cursor after the 7
        QInputMethodEvent compose(QStringLiteral("\x663"), {});
        QApplication::sendEvent(m_edit->Field(0), &compose);
        QInputMethodEvent event;
        event.setCommitString(commit);
        QApplication::sendEvent(m_edit->Field(0), &event);
        QCOMPARE(Fields(), fields);
    }

    void packedValue_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<uint>("address");
        QTest::addColumn<int>("filled");  // 0: blank
        QTest::newRow("all blank") << QStringList{} << 0u << 0;
        QTest::newRow("a zero is not blank") << QStringList{"", "", "", "0"} << 0u << 1;
        QTest::newRow("blank fields are zero bytes") << QStringList{"", "168", "", "5"} << 0x00A80005u << 2;
        QTest::newRow("first field in the top byte") << QStringList{"192", "168", "1", "20"} << 0xC0A80114u << 4;
        QTest::newRow("all 255") << QStringList{"255", "255", "255", "255"} << 0xFFFFFFFFu << 4;
    }
    void packedValue()
    {
        QFETCH(QStringList, fields);
        QFETCH(uint, address);
        QFETCH(int, filled);
        for (int i = 0; i < 4; ++i)
            m_edit->Field(i)->setText(fields.value(i));
        QCOMPARE(m_edit->IsBlank(), filled == 0);
        DWORD value = 0xDEADBEEF;
        QCOMPARE(m_edit->GetAddress(value), filled);
        QCOMPARE(value, DWORD(address));
    }
};

QTEST_MAIN(AddressControlTest)
#include "address_control_test.moc"
