#include "settings/pacingdlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

constexpr QSize kSize{180, 70};

QSpinBox* DelayField(QWidget* parent, const char* name) {
    auto* field = new QSpinBox(parent);
    field->setRange(0, settings::kMaxPacingMs);
    field->setSuffix(QStringLiteral(" ms"));
    field->setObjectName(QString::fromLatin1(name));
    return field;
}

} // namespace

int settings::PacingDelay(long long stored) {
    return stored >= 0 && stored <= kMaxPacingMs ? static_cast<int>(stored) : 0;
}

CPacingDlg::CPacingDlg(QWidget* parent, settings::Pacing& pacing)
    : fw::Dialog(parent, kSize)
    , m_pacing(pacing) {
    setWindowTitle(QStringLiteral("Transmit Pacing"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_char = DelayField(this, "charDelay");
    m_line = DelayField(this, "lineDelay");
    form->addRow(QStringLiteral("Delay after each &character:"), m_char);
    form->addRow(QStringLiteral("Delay after each &line end:"), m_line);
    layout->addLayout(form);
    layout->addWidget(
        new QLabel(QStringLiteral("Applies to text files, paste, the send bar and macros."), this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CPacingDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CPacingDlg::reject);
    layout->addWidget(buttons);
}

CPacingDlg::~CPacingDlg() = default;

bool CPacingDlg::OnInitDialog() {
    m_char->setValue(m_pacing.charMs);
    m_line->setValue(m_pacing.lineMs);
    m_char->selectAll();
    m_char->setFocus();
    return false;
}

void CPacingDlg::OnOK() {
    // Typing that has not been taken yet (no Enter, no focus change) counts too.
    m_char->interpretText();
    m_line->interpretText();
    m_pacing = {m_char->value(), m_line->value()};
    QDialog::accept();
}
