#include "settings/macrosdlg.h"

#include "framework/codepage.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr QSize kSize{420, 300};
constexpr int kPreviewWidth = 300;       // pixels of the preview column; longer previews are cut
constexpr int kMaxFieldLength = 4 << 20; // a longer paste is refused with a message, not cut

const char* const kHelp =
    "Escapes: \\r \\n \\t \\b \\\\ \\xNN as in C, \\d500 waits 500 ms, \\B sends a Break.";
const char* const kFaultStyle = "background: #ffe0e0";

void MarkField(QLineEdit* field, bool fault) {
    const QString style = fault ? QString::fromLatin1(kFaultStyle) : QString();
    if (field->styleSheet() != style) field->setStyleSheet(style);
}

} // namespace

CMacrosDlg::CMacrosDlg(QWidget* parent, settings::Macros& macros, settings::MacroPreviewer preview)
    : fw::Dialog(parent, kSize)
    , m_macros(macros)
    , m_preview(std::move(preview)) {
    setWindowTitle(QStringLiteral("Macros"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QString::fromLatin1(kHelp), this));
    auto* grid = new QGridLayout;
    const char* const headings[] = {"", "Name", "Text", "Sends"};
    for (int column = 0; column < 4; ++column)
        grid->addWidget(new QLabel(QString::fromLatin1(headings[column]), this), 0, column);
    for (int row = 0; row < settings::kMacroCount; ++row) {
        const auto i = static_cast<std::size_t>(row);
        auto* number = new QLabel(QString::number(row + 1), this);
        m_names[i] = new QLineEdit(this);
        m_names[i]->setMaxLength(static_cast<int>(settings::kMaxMacroName));
        m_names[i]->setObjectName(QStringLiteral("macroName%1").arg(row + 1));
        number->setBuddy(m_names[i]);
        m_texts[i] = new QLineEdit(this);
        m_texts[i]->setMaxLength(kMaxFieldLength);
        m_texts[i]->setObjectName(QStringLiteral("macroText%1").arg(row + 1));
        m_texts[i]->setMinimumWidth(220);
        m_previews[i] = new QLabel(this);
        m_previews[i]->setObjectName(QStringLiteral("macroPreview%1").arg(row + 1));
        m_previews[i]->setFixedWidth(kPreviewWidth);
        m_previews[i]->setTextFormat(Qt::PlainText);
        grid->addWidget(number, row + 1, 0);
        grid->addWidget(m_names[i], row + 1, 1);
        grid->addWidget(m_texts[i], row + 1, 2);
        grid->addWidget(m_previews[i], row + 1, 3);
        connect(m_texts[i], &QLineEdit::textChanged, this, [this, row] { UpdatePreview(row); });
    }
    grid->setColumnStretch(2, 1);
    layout->addLayout(grid);
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("macroMessage"));
    layout->addWidget(m_message);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CMacrosDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CMacrosDlg::reject);
    layout->addWidget(buttons);
}

CMacrosDlg::~CMacrosDlg() = default;

bool CMacrosDlg::OnInitDialog() {
    for (std::size_t i = 0; i < m_macros.size(); ++i) {
        m_names[i]->setText(fw::FromAnsi(m_macros[i].name));
        m_texts[i]->setText(fw::FromAnsi(m_macros[i].text));
        UpdatePreview(static_cast<int>(i));
    }
    m_names[0]->setFocus();
    return false;
}

bool CMacrosDlg::UpdatePreview(int row) {
    const auto i = static_cast<std::size_t>(row);
    const std::string text = fw::ToAnsi(m_texts[i]->text());
    settings::MacroPreview preview;
    if (text.size() > settings::kMaxMacroText)
        preview = {"Too long: " + std::to_string(text.size()) + " bytes, at most " +
                       std::to_string(settings::kMaxMacroText),
                   settings::kMaxMacroText};
    else
        preview = m_preview(text);
    m_errors[i] = preview.errorAt;
    const bool fault = preview.errorAt.has_value();
    const QString shown = fw::FromAnsi(preview.shown);
    QLabel* label = m_previews[i];
    label->setText(label->fontMetrics().elidedText(shown, Qt::ElideRight, kPreviewWidth));
    label->setToolTip(shown.left(1000));
    label->setStyleSheet(fault ? QStringLiteral("color: #b00000") : QString());
    MarkField(m_texts[i], fault);
    if (!fault && m_message->text().startsWith(QStringLiteral("Macro %1 ").arg(row + 1)))
        m_message->clear();
    return !fault;
}

void CMacrosDlg::OnOK() {
    for (int row = 0; row < settings::kMacroCount; ++row) {
        const auto i = static_cast<std::size_t>(row);
        if (UpdatePreview(row)) continue;
        m_message->setText(QStringLiteral("Macro %1 cannot be sent: %2")
                               .arg(row + 1)
                               .arg(m_previews[i]->toolTip()));
        m_texts[i]->setFocus();
        m_texts[i]->setCursorPosition(static_cast<int>(*m_errors[i]));
        return;
    }
    for (std::size_t i = 0; i < m_macros.size(); ++i)
        m_macros[i] = {fw::ToAnsi(m_names[i]->text()), fw::ToAnsi(m_texts[i]->text())};
    QDialog::accept();
}
