#pragma once
// "Macros": twelve rows of a name and a text with escapes, each with a live preview of what
// the text sends or where it is wrong. The dialog knows no escape rules: its creator gives the
// preview function. OK writes every row back; while a text is wrong or too long, OK refuses
// (the dialog stays, the row's field takes the focus with the cursor at the fault, and the
// message line says which macro), so nothing that cannot be sent is kept.

#include "framework/dialog.h"

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;

namespace settings {

inline constexpr int kMacroCount = 12;
inline constexpr std::size_t kMaxMacroName = 40;
// A longer text is refused by the editor and not taken from the store: twelve of the longest
// keep the settings file well below the size it takes.
inline constexpr std::size_t kMaxMacroText = 64 * 1024;

struct Macro {
    std::string name; // the button's label; empty: the button shows its number
    std::string text; // with escapes; empty: the macro sends nothing
    friend bool operator==(const Macro&, const Macro&) = default;
};
using Macros = std::array<Macro, kMacroCount>;

// What a macro text sends, for the preview: a readable description, or an error with the
// character position it points at.
struct MacroPreview {
    std::string shown;
    std::optional<std::size_t> errorAt; // set when `shown` is an error message
};
using MacroPreviewer = std::function<MacroPreview(const std::string& text)>;

} // namespace settings

class CMacrosDlg : public fw::Dialog {
    Q_OBJECT
public:
    CMacrosDlg(QWidget* parent, settings::Macros& macros, settings::MacroPreviewer preview);
    ~CMacrosDlg() override;

    QLineEdit* nameField(int row) const { return m_names.at(static_cast<std::size_t>(row)); }
    QLineEdit* textField(int row) const { return m_texts.at(static_cast<std::size_t>(row)); }
    QLabel* previewLabel(int row) const { return m_previews.at(static_cast<std::size_t>(row)); }
    QLabel* messageLabel() const { return m_message; }

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    // Shows what row `row` sends; false when its text cannot be sent (the error is shown).
    bool UpdatePreview(int row);

    settings::Macros& m_macros;
    settings::MacroPreviewer m_preview;
    std::array<QLineEdit*, settings::kMacroCount> m_names{};
    std::array<QLineEdit*, settings::kMacroCount> m_texts{};
    std::array<QLabel*, settings::kMacroCount> m_previews{};
    std::array<std::optional<std::size_t>, settings::kMacroCount> m_errors{};
    QLabel* m_message = nullptr;
};
