#include "settings/settingsdlg.h"

#include "comm/ccommctrl.h"
#include "comm/netaddress.h"
#include "comm/portlist.h"
#include "framework/msgbox.h"
#include "res/resource.h"
#include "settings/portaddress.h"
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

// Each button's number in the dialog template, and its name in the form: a group's buttons
// are numbered from the group's first id in the order of the values they stand for.
struct ButtonName {
    int id;
    const char* name;
};
constexpr ButtonName kButtons[] = {
    {IDC_BAUD, "baud300"},           {IDC_BAUD + 1, "baud600"},    {IDC_BAUD + 2, "baud1200"},
    {IDC_BAUD + 3, "baud2400"},      {IDC_BAUD + 4, "baud4800"},   {IDC_BAUD + 5, "baud9600"},
    {IDC_BAUD + 6, "baud19200"},     {IDC_BAUD + 7, "baud38400"},  {IDC_BAUD_OTHER, "baudOther"},
    {IDC_DATABITS, "dataBits7"},     {IDC_DATABITS + 1, "dataBits8"},
    {IDC_STOPBITS, "stopBits1"},     {IDC_STOPBITS + 1, "stopBits2"},
    {IDC_ECHO, "echoOff"},           {IDC_ECHO + 1, "echoOn"},
    {IDC_PARITY, "parityNone"},      {IDC_PARITY + 1, "parityOdd"},
    {IDC_PARITY + 2, "parityEven"},  {IDC_FLOWCONTROL, "flowNone"},
    {IDC_FLOWCONTROL + 1, "flowXonXoff"}, {IDC_FLOWCONTROL + 2, "flowRts"},
    {IDC_FLOWCONTROL + 3, "flowXonRts"},
};

QRadioButton* FindButton(const QWidget* dialog, int id) {
    for (const ButtonName& b : kButtons)
        if (b.id == id) return dialog->findChild<QRadioButton*>(QString::fromLatin1(b.name));
    return nullptr;
}

template <std::size_t N>
void CollectGroup(QWidget* dialog, int firstId, std::array<QRadioButton*, N>& group) {
    auto* buttons = new QButtonGroup(dialog);
    for (std::size_t i = 0; i < N; ++i) {
        group[i] = FindButton(dialog, firstId + static_cast<int>(i));
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
        new QRegularExpressionValidator(
            // A number, or an address typed in: rfc2217://HOST:PORT, tcp://[V6]:PORT.
            QRegularExpression(QStringLiteral("[0-9]*|[A-Za-z][A-Za-z0-9:/\\[\\]._-]*")), this));
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
    return FindButton(this, id);
}

QLineEdit* CSettingsDlg::portField() const {
    return m_ui->port->lineEdit();
}

QComboBox* CSettingsDlg::portList() const {
    return m_ui->port;
}

QComboBox* CSettingsDlg::otherBaudField() const {
    return m_ui->otherBaudRate;
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
    const bool address = comm::IsNetworkName(m_strPort);
    const auto port = address ? std::optional<int>(0) : ParsePortNumber(m_strPort);
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

    // Last of the checks, since it links the address in the port map folder.
    if (address) {
        const TypedAddress typed = TakeTypedAddress(m_strPort);
        if (!typed.message.empty())
            fw::MessageBox(typed.message, fw::Buttons::Ok,
                           typed.port ? fw::Icon::Information : fw::Icon::Exclamation);
        if (!typed.port) return;
        m_nPort = *typed.port;
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
