// The views' own settings (the character set the log view reads, how much each view keeps,
// the font), and the find bar over the views.

#include "framework/msgbox.h"
#include "framework/stringtable.h"
#include "mainframe/mainframe.h"
#include "res/resource.h"
#include "settings/valuedlg.h"
#include "terminal/screentrim.h"
#include "terminal/vtscrollback.h"

#include <QFontDialog>
#include <QShortcut>
#include <QVBoxLayout>

#include <charconv>
#include <optional>
#include <string>

namespace {

// The number a prompt's text asks for: a whole number in lowest..highest, blanks around it
// allowed; taken whole, not cut to 16 bits.
std::optional<std::size_t> WholeNumberIn(const std::string& text, std::size_t lowest,
                                         std::size_t highest) {
    const auto first = text.find_first_not_of(' ');
    const auto last = text.find_last_not_of(' ');
    if (first == std::string::npos) return std::nullopt;
    std::size_t n = 0;
    const char* end = text.data() + last + 1;
    const auto [at, error] = std::from_chars(text.data() + first, end, n);
    if (error != std::errc() || at != end) return std::nullopt;
    if (n < lowest || n > highest) return std::nullopt;
    return n;
}

// Asks for a size, showing `current`; empty when cancelled, and when refused after the box
// `invalidId` has said so (the caller then changes nothing).
std::optional<std::size_t> PromptSize(QWidget* parent, unsigned promptId, unsigned invalidId,
                                      std::size_t current, std::size_t lowest,
                                      std::size_t highest) {
    CValueDlg prompt(parent);
    prompt.m_strPrompt = fw::LoadString(promptId);
    prompt.m_strValue = std::to_string(current);
    if (prompt.DoModal() != QDialog::Accepted) return std::nullopt;
    const auto n = WholeNumberIn(prompt.m_strValue, lowest, highest);
    if (!n) fw::MessageBox(invalidId);
    return n;
}

} // namespace

void CMainFrame::OnCharacterSet(unsigned id) {
    m_wndEdit.setCharacterSet(id == ID_SETTINGS_CHARSET_UTF8 ? terminal::CharacterSet::Utf8
                                                             : terminal::CharacterSet::Western);
}

void CMainFrame::OnUpdateCharacterSet(fw::CmdUI& ui) {
    const bool utf8 = m_wndEdit.characterSet() == terminal::CharacterSet::Utf8;
    ui.SetCheck((ui.id() == ID_SETTINGS_CHARSET_UTF8) == utf8);
}

void CMainFrame::OnScreenSize() {
    if (const auto kb = PromptSize(this, IDS_PROMPT_SCREENSIZE, IDS_INVALID_SCREENSIZE,
                                   m_wndEdit.screenSizeKB(), terminal::kSmallestScreenKB,
                                   terminal::kLargestScreenKB))
        m_wndEdit.setScreenSizeKB(*kb);
}

// The terminal view's scrollback; shrinking it drops the oldest lines at once.
void CMainFrame::OnScrollbackLines() {
    if (const auto lines = PromptSize(this, IDS_PROMPT_SCROLLBACK, IDS_INVALID_SCROLLBACK,
                                      m_wndTerm.scrollbackLines(), 1, terminal::kScrollbackMax))
        m_wndTerm.setScrollbackLines(*lines);
}

void CMainFrame::OnZoom(unsigned id) {
    if (id == ID_VIEW_ZOOM_NORMAL)
        m_wndEdit.zoomTo(0);
    else
        m_wndEdit.zoomTo(m_wndEdit.zoom() + (id == ID_VIEW_ZOOM_IN ? 1 : -1));
}

void CMainFrame::OnChooseFont() {
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, m_wndEdit.baseFont(), this, QString(),
                                              QFontDialog::MonospacedFonts);
    if (ok) m_wndEdit.setBaseFont(chosen);
}

void CMainFrame::CreateFindBar(QWidget* holder) {
    // The bar sits over the views and is hidden until View > Find opens it.
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_findBar = new terminal::FindBar(holder);
    layout->addWidget(m_findBar);
    layout->addWidget(m_views, 1);
    // F3 and Shift+F3 while the bar is open, wherever the focus is; the view keeps them
    // otherwise.
    for (const bool backward : {false, true}) {
        auto* key = new QShortcut(QKeySequence(backward ? Qt::SHIFT | Qt::Key_F3 : Qt::Key_F3), this);
        key->setContext(Qt::WindowShortcut);
        key->setEnabled(false);
        connect(key, &QShortcut::activated, m_findBar, [this, backward] { m_findBar->findNext(backward); });
        connect(m_findBar, &terminal::FindBar::visibilityChanged, key, &QShortcut::setEnabled);
    }
}

void CMainFrame::OnFind() {
    if (m_findBar) m_findBar->open();
}
