#pragma once
// The macro bar: twelve buttons, one per macro, labelled with its name (its number when it has
// none) and greyed while its text is empty. A click says which macro through macroClicked; the
// bar knows nothing of what a macro sends.

#include "settings/macrosdlg.h"

#include <QWidget>

#include <array>

class QPushButton;

class CMacroBar : public QWidget {
    Q_OBJECT
public:
    explicit CMacroBar(QWidget* parent = nullptr);

    // Labels, enables and tool tips of the buttons from `macros`.
    void setMacros(const settings::Macros& macros);
    QPushButton* button(int index) const { return m_buttons.at(static_cast<std::size_t>(index)); }

    // What a macro's button and menu item show: its name, or "Macro N" when it has none.
    static QString Label(const settings::Macro& macro, int index);

signals:
    void macroClicked(int index);

private:
    std::array<QPushButton*, settings::kMacroCount> m_buttons{};
};
