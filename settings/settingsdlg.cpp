#include "settings/settingsdlg.h"

#include "comm/ccommctrl.h"
#include "comm/portlist.h"
#include "framework/msgbox.h"
#include "res/resource.h"
#include "settings/portsettings.h"
#include "ui_settingsdlg.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QStandardItemModel>

namespace {

// Placed from the top-left of the main window's client area, not centred.
constexpr QPoint kPlace{30, 45};
constexpr QSize kSize{221, 186};

// Offered in the "Other" field; any other rate in range can be typed.
constexpr const char* kOtherRates[] = {"57600",   "115200",  "230400",  "460800", "921600",
                                       "1000000", "1500000", "2000000", "3000000"};

template <std::size_t N>
void CollectGroup(QWidget* dialog, int firstId, std::array<QRadioButton*, N>& group) {
    auto* buttons = new QButtonGroup(dialog);
    for (std::size_t i = 0; i < N; ++i) {
        group[i] = dialog->findChild<QRadioButton*>(
            QStringLiteral("radio%1").arg(firstId + static_cast<int>(i)));
        buttons->addButton(group[i], firstId + static_cast<int>(i));
    }
}

} // namespace

CSettingsDlg::CSettingsDlg(QWidget* parent, CCommCtrl& comm, Bool32& echo)
    : fw::Dialog(parent, kSize, kPlace)
    , m_ui(std::make_unique<Ui::CSettingsDlg>())
    , m_comm(comm)
    , m_screenEcho(echo) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    Layout();
    // The form's buttons are plain push buttons: OK and Cancel act through the dialog's own
    // handlers.
    connect(m_ui->buttonOk, &QPushButton::clicked, this, &CSettingsDlg::accept);
    connect(m_ui->buttonCancel, &QPushButton::clicked, this, &CSettingsDlg::reject);
    // "Other" is the last of the baud group, so it clears the eight rates and they clear it.
    CollectGroup(this, IDC_BAUD, m_baud);
    CollectGroup(this, IDC_DATABITS, m_dataBits);
    CollectGroup(this, IDC_STOPBITS, m_stopBits);
    CollectGroup(this, IDC_ECHO, m_echo);
    CollectGroup(this, IDC_PARITY, m_parity);
    CollectGroup(this, IDC_FLOWCONTROL, m_flowControl);

    QComboBox* rate = otherBaudField();
    // No inline completion: typing "300" must not become "3000000".
    rate->setCompleter(nullptr);
    for (const char* r : kOtherRates)
        rate->addItem(QString::fromLatin1(r));
    // Typing or picking a rate means "Other".
    connect(rate->lineEdit(), &QLineEdit::textEdited, this,
            [this] { m_baud[kOtherBaud]->setChecked(true); });
    connect(rate, &QComboBox::activated, this, [this] { m_baud[kOtherBaud]->setChecked(true); });
    m_baud[kOtherBaud]->installEventFilter(this);

    portList()->setCompleter(nullptr);
    portField()->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    FillPortList();

    const PortDialogValues start =
        StartValues(comm.GetSettings(), comm.GetCommPort(), comm.GetHandshaking(), echo);
    m_nBaud = start.baud;
    m_nParity = start.parity;
    m_nDataBits = start.dataBits;
    m_nStopBits = start.stopBits;
    m_nEcho = start.echo;
    m_nFlowControl = start.flowControl;
    m_nPort = start.port;
    m_strPort = start.portText;
    m_strOtherBaud = start.baud == kOtherBaud ? std::to_string(start.otherRate) : std::string();
    m_openedRate = start.otherRate;
}

CSettingsDlg::~CSettingsDlg() = default;

QRadioButton* CSettingsDlg::radio(int id) const {
    return findChild<QRadioButton*>(QStringLiteral("radio%1").arg(id));
}

QLineEdit* CSettingsDlg::portField() const {
    return m_ui->combo1050->lineEdit();
}

QComboBox* CSettingsDlg::portList() const {
    return m_ui->combo1050;
}

QComboBox* CSettingsDlg::otherBaudField() const {
    return m_ui->combo1019;
}

// The ports present now; one that no COM number reaches is shown greyed with the line that
// would map it, and cannot be picked.
void CSettingsDlg::FillPortList() {
    QComboBox* list = portList();
    auto* model = qobject_cast<QStandardItemModel*>(list->model());
    for (const comm::PortEntry& entry : comm::ListPorts(comm::DeviceRoot())) {
        auto* item = new QStandardItem(QString::fromStdString(comm::PortEntryText(entry)));
        if (entry.port > 0)
            item->setData(entry.port, Qt::UserRole);
        else
            item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
        model->appendRow(item);
    }
    // The entries are longer than the field: the open list is as wide as they need.
    list->view()->setMinimumWidth(list->view()->sizeHintForColumn(0) +
                                  2 * list->view()->frameWidth());
    connect(list, &QComboBox::activated, this, [this](int index) {
        const QVariant port = portList()->itemData(index, Qt::UserRole);
        if (port.isValid()) portField()->setText(QString::number(port.toInt()));
        portField()->selectAll();
    });
}

void CSettingsDlg::FocusOtherBaud() {
    otherBaudField()->setFocus(Qt::ShortcutFocusReason);
    otherBaudField()->lineEdit()->selectAll();
}

// Alt+O selects "Other" and puts the caret in its field, all of it selected.
bool CSettingsDlg::eventFilter(QObject* watched, QEvent* e) {
    if (watched == m_baud[kOtherBaud] && e->type() == QEvent::Shortcut) {
        m_baud[kOtherBaud]->setChecked(true);
        FocusOtherBaud();
        return true;
    }
    return fw::Dialog::eventFilter(watched, e);
}

void CSettingsDlg::DoDataExchange(fw::DataExchange& dx) {
    dx.Radio(m_baud, m_nBaud);
    dx.Text(otherBaudField()->lineEdit(), m_strOtherBaud);
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
    std::optional<long> otherRate;
    if (m_nBaud == kOtherBaud) {
        otherRate = ParseOtherBaud(m_strOtherBaud, m_openedRate);
        if (!otherRate) {
            fw::MessageBox(IDS_INVALID_BAUD);
            FocusOtherBaud();
            return;
        }
    }

    CCommCtrl& comm = m_comm;
    PortDialogValues chosen;
    chosen.baud = m_nBaud;
    chosen.parity = m_nParity;
    chosen.dataBits = m_nDataBits;
    chosen.stopBits = m_nStopBits;
    chosen.otherRate = otherRate.value_or(0);
    // A group left without a selection keeps what the control and the screen hold now.
    comm.SetSettings(BuildSettings(chosen, comm.GetSettings()));
    if (m_nEcho != kNoSelection) m_screenEcho = m_nEcho;
    if (m_nFlowControl != kNoSelection) comm.SetHandshaking(m_nFlowControl);
    comm.SetCommPort(static_cast<short>(m_nPort));
    QDialog::accept();
}
