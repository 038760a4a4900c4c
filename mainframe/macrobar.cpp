#include "mainframe/macrobar.h"

#include "framework/codepage.h"

#include <QHBoxLayout>
#include <QPushButton>

CMacroBar::CMacroBar(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("macroBar"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    for (int i = 0; i < settings::kMacroCount; ++i) {
        auto* button = new QPushButton(this);
        button->setObjectName(QStringLiteral("macro%1").arg(i + 1));
        // A click must not take the keyboard away from the screen.
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QPushButton::clicked, this, [this, i] { emit macroClicked(i); });
        layout->addWidget(button, 1);
        m_buttons[static_cast<std::size_t>(i)] = button;
    }
    setMacros({});
}

QString CMacroBar::Label(const settings::Macro& macro, int index) {
    return macro.name.empty() ? QStringLiteral("Macro %1").arg(index + 1)
                              : fw::FromAnsi(macro.name);
}

void CMacroBar::setMacros(const settings::Macros& macros) {
    for (std::size_t i = 0; i < macros.size(); ++i) {
        QPushButton* button = m_buttons[i];
        // An '&' in a name is shown, not taken as a mnemonic.
        button->setText(
            Label(macros[i], static_cast<int>(i)).replace(QLatin1Char('&'), QStringLiteral("&&")));
        button->setToolTip(fw::FromAnsi(macros[i].text.substr(0, 200)));
        button->setEnabled(!macros[i].text.empty());
    }
}
