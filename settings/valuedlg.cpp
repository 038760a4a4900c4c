#include "settings/valuedlg.h"

#include "comm/ccommctrl.h"
#include "framework/codepage.h"
#include "framework/stringtable.h"
#include "res/resource.h"
#include "ui_valuedlg.h"

#include <cctype>

namespace {

constexpr QSize kSize{185, 46};

// A numeric property of the control: its prompt and its accessors.
struct NumberPrompt {
    unsigned id;
    unsigned promptId;
    short (CCommCtrl::*get)() const;
    void (CCommCtrl::*put)(short);
};

constexpr NumberPrompt kNumberPrompts[] = {
    {ID_SETTINGS_INPUTLEN, IDS_PROMPT_INPUTLEN, &CCommCtrl::GetInputLen, &CCommCtrl::SetInputLen},
    {ID_SETTINGS_RTHRESHOLD, IDS_PROMPT_RTHRESHOLD, &CCommCtrl::GetRThreshold,
     &CCommCtrl::SetRThreshold},
    {ID_SETTINGS_STHRESHOLD, IDS_PROMPT_STHRESHOLD, &CCommCtrl::GetSThreshold,
     &CCommCtrl::SetSThreshold},
};

} // namespace

CValueDlg::CValueDlg(QWidget* parent)
    : fw::Dialog(parent, kSize)
    , m_ui(std::make_unique<Ui::CValueDlg>()) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    Layout();
    // The form's buttons are plain push buttons: OK and Cancel act through the dialog's own
    // handlers.
    connect(m_ui->buttonOk, &QPushButton::clicked, this, &CValueDlg::accept);
    connect(m_ui->buttonCancel, &QPushButton::clicked, this, &CValueDlg::reject);
}

CValueDlg::~CValueDlg() = default;

QLabel* CValueDlg::promptLabel() const {
    return m_ui->prompt;
}
QLineEdit* CValueDlg::valueField() const {
    return m_ui->value;
}

bool CValueDlg::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    promptLabel()->setText(fw::FromAnsi(m_strPrompt));
    valueField()->selectAll();
    valueField()->setFocus();
    return false;
}

void CValueDlg::DoDataExchange(fw::DataExchange& dx) {
    dx.Text(valueField(), m_strValue);
}

short PromptNumber(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Only the low 16 bits count, so the arithmetic may wrap freely.
    std::uint32_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
    if (negative) value = 0u - value;
    return static_cast<short>(static_cast<std::uint16_t>(value & 0xFFFFu));
}

void PromptForValue(CCommCtrl& comm, CValueDlg& prompt, unsigned commandId) {
    if (commandId == ID_SETTINGS_PARITYREPLACE) {
        prompt.m_strPrompt = fw::LoadString(IDS_PROMPT_PARITYREPLACE);
        prompt.m_strValue = comm.GetParityReplace();
        if (prompt.DoModal() == QDialog::Accepted) comm.SetParityReplace(prompt.m_strValue);
        return;
    }
    for (const NumberPrompt& p : kNumberPrompts) {
        if (p.id != commandId) continue;
        prompt.m_strPrompt = fw::LoadString(p.promptId);
        prompt.m_strValue = std::to_string((comm.*p.get)());
        if (prompt.DoModal() == QDialog::Accepted) (comm.*p.put)(PromptNumber(prompt.m_strValue));
        return;
    }
}
