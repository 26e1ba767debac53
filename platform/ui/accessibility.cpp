// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ui/accessibility.h"

#include "platform/ui/controls.h"

#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace platform {

namespace {

bool IsButton(ControlKind kind) { return kind == ControlKind::PushButton || kind == ControlKind::DefPushButton; }
bool IsStatic(ControlKind kind) { return kind == ControlKind::StaticText || kind == ControlKind::StaticIcon; }

// A mnemonic's ampersand is not read out; "&&" stands for one.
QString StripMnemonic(const QString &text)
{
    QString out;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        out += text[i];
    }
    return out;
}

}  // namespace

int TemplateLabelOf(const DialogTemplate &dialogTemplate, std::size_t index)
{
    const auto &controls = dialogTemplate.controls;
    const std::size_t n = controls.size();
    if (index >= n || IsButton(controls[index].kind) || IsStatic(controls[index].kind))
        return -1;
    for (std::size_t step = 1; step < n; ++step) {
        const std::size_t at = (index + n - step) % n;
        if (controls[at].kind == ControlKind::StaticText)
            return static_cast<int>(at);
        if (!IsButton(controls[at].kind))
            return -1;
    }
    return -1;
}

void NameTemplateControls(const DialogTemplate &dialogTemplate, const ControlList &controls,
                          const std::function<QString(int id)> &describe)
{
    for (std::size_t i = 0; i < controls.size() && i < dialogTemplate.controls.size(); ++i) {
        const ControlTemplate &c = dialogTemplate.controls[i];
        QWidget *w = controls[i].second;
        if (IsButton(c.kind) || IsStatic(c.kind))
            continue;  // their own text names them
        QString name;
        const int label = TemplateLabelOf(dialogTemplate, i);
        if (label >= 0) {
            auto *labelWidget = qobject_cast<QLabel *>(controls[static_cast<std::size_t>(label)].second);
            if (labelWidget)
                labelWidget->setBuddy(w);  // a labelled-by relation as well as the name
            name = StripMnemonic(QString::fromLatin1(dialogTemplate.controls[static_cast<std::size_t>(label)].text));
        } else if (describe) {
            name = describe(c.id);
        }
        w->setAccessibleName(name);
        if (auto *address = qobject_cast<IpAddressEdit *>(w))
            address->NameFields(name);
    }
}

void SetButtonBitmap(QPushButton &button, const QPixmap &bitmap, const QSize &faceSize)
{
    if (button.accessibleName().isEmpty())
        button.setAccessibleName(StripMnemonic(button.text()));
    button.setText(QString());
    button.setIcon(QIcon(bitmap));
    button.setIconSize(faceSize);
}

}  // namespace platform
