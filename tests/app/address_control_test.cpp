// The four-field address entry as the user types and pastes into it.
#include "platform/ui/controls.h"

#include <QApplication>
#include <QClipboard>
#include <QtTest>
#include <memory>

using platform::DWORD;
using platform::IpAddressEdit;

class AddressControlTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        // In a window of its own, as in a dialog: the control's layout stays inside it.
        m_window = std::make_unique<QWidget>();
        m_window->resize(180, 40);
        m_edit = new IpAddressEdit(m_window.get());
        m_edit->setGeometry(10, 8, 160, 24);
        m_window->show();
        QApplication::setActiveWindow(m_window.get());
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        m_edit->Field(0)->setFocus();
    }
    void cleanup() { m_window.reset(); }
    void typing_data();
    void typing();
    void paste_data();
    void paste();
    void packedValue_data();
    void packedValue();

private:
    QStringList Fields() const
    {
        QStringList texts;
        for (int i = 0; i < 4; ++i)
            texts << m_edit->Field(i)->text();
        return texts;
    }
    int FocusedField() const
    {
        for (int i = 0; i < 4; ++i)
            if (m_edit->Field(i)->hasFocus())
                return i;
        return -1;
    }
    void SetFields(const QStringList &fields)
    {
        for (int i = 0; i < 4; ++i)
            m_edit->Field(i)->setText(i < fields.size() ? fields[i] : QString());
    }
    // Each key goes to whichever field has the focus at that moment; '\b' is Backspace.
    void Type(const QString &keys)
    {
        for (QChar c : keys)
            if (QWidget *target = QApplication::focusWidget()) {
                if (c == QLatin1Char('\b'))
                    QTest::keyClick(target, Qt::Key_Backspace);
                else
                    QTest::keyClick(target, c.toLatin1());
            }
    }

    std::unique_ptr<QWidget> m_window;
    IpAddressEdit *m_edit = nullptr;  // owned by m_window
};

void AddressControlTest::typing_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<int>("focused");

    QTest::newRow("dots move on") << "10.0.0.5" << QStringList{"10", "0", "0", "5"} << 3;
    QTest::newRow("third digit moves on") << "19216811" << QStringList{"192", "168", "11", ""} << 2;
    // After an automatic move the dot lands in an empty field and is ignored.
    QTest::newRow("full address typed") << "192.168.1.20" << QStringList{"192", "168", "1", "20"} << 3;
    QTest::newRow("dot in an empty field stays") << ".5" << QStringList{"5", "", "", ""} << 0;
    QTest::newRow("300 is clamped to 255") << "300" << QStringList{"255", "", "", ""} << 1;
    QTest::newRow("256 in the last field") << "1.2.3.256" << QStringList{"1", "2", "3", "255"} << 3;
    QTest::newRow("letters refused") << "1a2b.x" << QStringList{"12", "", "", ""} << 1;
    QTest::newRow("no fourth digit in the last field") << "1.2.3.2559" << QStringList{"1", "2", "3", "255"} << 3;
    QTest::newRow("backspace in an empty field moves back") << "10.\b\b" << QStringList{"1", "", "", ""} << 0;
    QTest::newRow("backspace in the first empty field stays") << "\b7" << QStringList{"7", "", "", ""} << 0;
    QTest::newRow("backspace back across two fields") << "1.2.\b\b\b\b9" << QStringList{"9", "", "", ""} << 0;
}

void AddressControlTest::typing()
{
    QFETCH(QString, keys);
    QFETCH(QStringList, fields);
    QFETCH(int, focused);
    Type(keys);
    QCOMPARE(Fields(), fields);
    QCOMPARE(FocusedField(), focused);
}

void AddressControlTest::paste_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QStringList>("fields");

    const QStringList unchanged{"7", "", "", ""};
    QTest::newRow("dotted address fills all four") << 0 << "192.168.1.20" << QStringList{"192", "168", "1", "20"};
    QTest::newRow("from the third field too") << 2 << "10.0.0.5" << QStringList{"10", "0", "0", "5"};
    QTest::newRow("three parts") << 0 << "1.2.3" << unchanged;
    QTest::newRow("five parts") << 0 << "1.2.3.4.5" << unchanged;
    QTest::newRow("letters") << 0 << "a.b.c.d" << unchanged;
    QTest::newRow("a part over 255") << 0 << "1.2.3.999" << unchanged;
    QTest::newRow("a negative part") << 0 << "-1.2.3.4" << unchanged;
    QTest::newRow("digits and letters into a field") << 0 << "12a" << unchanged;
    QTest::newRow("digits into a field are clamped") << 0 << "99" << QStringList{"255", "", "", ""};
}

void AddressControlTest::paste()
{
    QFETCH(int, field);
    QFETCH(QString, clipboard);
    QFETCH(QStringList, fields);
    SetFields({"7"});
    m_edit->Field(field)->setFocus();
    m_edit->Field(field)->setCursorPosition(m_edit->Field(field)->text().size());
    QApplication::clipboard()->setText(clipboard);
    QTest::keyClick(m_edit->Field(field), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(Fields(), fields);
}

void AddressControlTest::packedValue_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<bool>("blank");
    QTest::addColumn<uint>("address");
    QTest::addColumn<int>("filled");

    QTest::newRow("all blank") << QStringList{"", "", "", ""} << true << 0u << 0;
    QTest::newRow("only the first") << QStringList{"10", "", "", ""} << false << 0x0A000000u << 1;
    QTest::newRow("a zero is not blank") << QStringList{"", "", "", "0"} << false << 0u << 1;
    QTest::newRow("only the last") << QStringList{"", "", "", "5"} << false << 5u << 1;
    QTest::newRow("first field in the top byte") << QStringList{"192", "168", "1", "20"} << false << 0xC0A80114u << 4;
    QTest::newRow("all 255") << QStringList{"255", "255", "255", "255"} << false << 0xFFFFFFFFu << 4;
}

void AddressControlTest::packedValue()
{
    QFETCH(QStringList, fields);
    QFETCH(bool, blank);
    QFETCH(uint, address);
    QFETCH(int, filled);
    SetFields(fields);
    QCOMPARE(m_edit->IsBlank(), blank);
    DWORD value = 0xDEADBEEF;
    QCOMPARE(m_edit->GetAddress(value), filled);
    QCOMPARE(value, DWORD(address));
}

QTEST_MAIN(AddressControlTest)
#include "address_control_test.moc"
