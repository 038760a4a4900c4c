#include "settings/settingsdlg.h"

#include "framework/application.h"
#include "framework/msgbox.h"
#include "mainframe/mainframe.h"
#include "res/resource.h"
#include "settings/portsettings.h"
#include "ui_settingsdlg.h"

#include <QButtonGroup>
#include <QRegularExpressionValidator>

namespace {

// Placed from the top-left of the main window's client area, not centred.
constexpr QPoint kPlace{30, 45};
constexpr QSize kSize{221, 170};

template <std::size_t N>
void CollectGroup(QWidget* dialog, int firstId, std::array<QRadioButton*, N>& group) {
    auto* buttons = new QButtonGroup(dialog);
    for (std::size_t i = 0; i < N; ++i) {
        group[i] = dialog->findChild<QRadioButton*>(
            QStringLiteral("radio%1").arg(firstId + static_cast<int>(i)));
        buttons->addButton(group[i], firstId + static_cast<int>(i));
    }
}

CMainFrame& Frame() {
    return *static_cast<CMainFrame*>(fw::MainWindow());
}

} // namespace

CSettingsDlg::CSettingsDlg(CMainFrame* parent)
    : fw::Dialog(parent, kSize, kPlace)
    , m_ui(std::make_unique<Ui::CSettingsDlg>()) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    Layout();
    // The form's buttons are plain push buttons: OK and Cancel act through the dialog's own
    // handlers.
    connect(m_ui->buttonOk, &QPushButton::clicked, this, &CSettingsDlg::accept);
    connect(m_ui->buttonCancel, &QPushButton::clicked, this, &CSettingsDlg::reject);
    CollectGroup(this, IDC_BAUD, m_baud);
    CollectGroup(this, IDC_DATABITS, m_dataBits);
    CollectGroup(this, IDC_STOPBITS, m_stopBits);
    CollectGroup(this, IDC_ECHO, m_echo);
    CollectGroup(this, IDC_PARITY, m_parity);
    CollectGroup(this, IDC_FLOWCONTROL, m_flowControl);
    portField()->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));

    CCommCtrl& comm = parent->m_wndComm;
    const PortDialogValues start = StartValues(comm.GetSettings(), comm.GetCommPort(),
                                               comm.GetHandshaking(), parent->m_wndEdit.m_bEcho);
    m_nBaud = start.baud;
    m_nParity = start.parity;
    m_nDataBits = start.dataBits;
    m_nStopBits = start.stopBits;
    m_nEcho = start.echo;
    m_nFlowControl = start.flowControl;
    m_nPort = start.port;
    m_strPort = start.portText;
}

CSettingsDlg::~CSettingsDlg() = default;

QRadioButton* CSettingsDlg::radio(int id) const {
    return findChild<QRadioButton*>(QStringLiteral("radio%1").arg(id));
}

QLineEdit* CSettingsDlg::portField() const {
    return m_ui->edit1050;
}

void CSettingsDlg::DoDataExchange(fw::DataExchange& dx) {
    dx.Radio(m_baud, m_nBaud);
    dx.Radio(m_dataBits, m_nDataBits);
    dx.Radio(m_echo, m_nEcho);
    dx.Radio(m_flowControl, m_nFlowControl);
    dx.Radio(m_parity, m_nParity);
    dx.Radio(m_stopBits, m_nStopBits);
    dx.Text(portField(), m_strPort);
}

void CSettingsDlg::OnOK() {
    if (!UpdateData(true)) {
        fw::MessageBox(IDS_UPDATEDATA_FAILED);
        return;
    }
    const auto port = ParsePortNumber(m_strPort);
    if (!port) {
        fw::MessageBox(IDS_INVALID_PORT);
        return;
    }
    m_nPort = *port;

    CMainFrame& frame = Frame();
    CCommCtrl& comm = frame.m_wndComm;
    PortDialogValues chosen;
    chosen.baud = m_nBaud;
    chosen.parity = m_nParity;
    chosen.dataBits = m_nDataBits;
    chosen.stopBits = m_nStopBits;
    // A group left without a selection keeps what the control and the screen hold now.
    comm.SetSettings(BuildSettings(chosen, comm.GetSettings()));
    if (m_nEcho != kNoSelection) frame.m_wndEdit.m_bEcho = m_nEcho;
    if (m_nFlowControl != kNoSelection) comm.SetHandshaking(m_nFlowControl);
    comm.SetCommPort(static_cast<short>(m_nPort));
    QDialog::accept();
}
