// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The four-field address entry as the user types and pastes into it.
#include "platform/ui/controls.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QtTest>
#include <memory>

enum class Via { Typed, Pasted, InputMethod };

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

    // Typed keys go to the focused field ('\b': Backspace); pasted and input-method text lands in the first
    // field after a 7, through the same filter.
    void entry_data()
    {
        QTest::addColumn<Via>("via");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<int>("focused");  // -1: not checked
        const Via typed = Via::Typed;
        QTest::newRow("typed: dots move on") << typed << "10.0.0.5" << QStringList{"10", "0", "0", "5"} << 3;
        QTest::newRow("typed: third digit moves on") << typed << "19216811" << QStringList{"192", "168", "11", ""} << 2;
        QTest::newRow("typed: 300 is clamped to 255") << typed << "300" << QStringList{"255", "", "", ""} << 1;
        QTest::newRow("typed: letters refused") << typed << "1a2b.x" << QStringList{"12", "", "", ""} << 1;
        QTest::newRow("typed: last field clamped, no fourth digit")
            << typed << "1.2.3.2569" << QStringList{"1", "2", "3", "255"} << 3;
        QTest::newRow("typed: backspace in an empty field moves back")
            << typed << "10.\b\b" << QStringList{"1", "", "", ""} << 0;
        const QStringList unchanged{"7", "", "", ""};
        for (Via via : {Via::Pasted, Via::InputMethod}) {
            const QByteArray name = via == Via::Pasted ? "pasted: " : "input method: ";
            QTest::newRow(name + "dotted address fills all four")
                << via << "192.168.1.20" << QStringList{"192", "168", "1", "20"} << -1;
            QTest::newRow(name + "over 255 is clamped") << via << "99" << QStringList{"255", "", "", ""} << -1;
            QTest::newRow(name + "letters refused") << via << "12a" << unchanged << -1;
            QTest::newRow(name + "other scripts' digits refused")
                << via << QString::fromUtf16(u"\x663") << unchanged << -1;
        }
        QTest::newRow("pasted: a part over 255") << Via::Pasted << "1.2.3.999" << unchanged << -1;
        QTest::newRow("input method: digits") << Via::InputMethod << "3" << QStringList{"73", "", "", ""} << -1;
    }
    void entry()
    {
        QFETCH(Via, via);
        QFETCH(QString, text);
        QFETCH(QStringList, fields);
        QFETCH(int, focused);
        QLineEdit *first = m_edit->Field(0);
        if (via == Via::Typed) {
            for (QChar c : text)
                if (c == QLatin1Char('\b'))
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
                else
                    QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
        } else if (via == Via::Pasted) {
            first->setText("7");  // the cursor after the 7
            QApplication::clipboard()->setText(text);
            QTest::keyClick(first, Qt::Key_V, Qt::ControlModifier);
        } else {
            first->setText("7");
            QInputMethodEvent compose(QStringLiteral("\x663"), {}), commit;
            QApplication::sendEvent(first, &compose);
            commit.setCommitString(text);
            QApplication::sendEvent(first, &commit);
        }
        QCOMPARE(Fields(), fields);
        if (focused >= 0)
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(m_edit->Field(focused)));
    }
};

QTEST_MAIN(AddressControlTest)
#include "address_control_test.moc"
