#include "comm/ccommctrl.h"

#include "comm/serialcontrol.h"
#include "framework/application.h"

namespace {

CCommCtrl::Factory& FactorySlot() {
    static CCommCtrl::Factory factory;
    return factory;
}

void Check(const comm::Status& status) {
    if (!status.ok())
        throw fw::ControlError(status.description, static_cast<int>(status.code), status.sysErrno);
}

} // namespace

CCommCtrl::~CCommCtrl() {
    // The control is a child of its parent window and goes with it; should this object go
    // first, take the control (and its port) with it.
    delete m_control.data();
}

void CCommCtrl::SetFactory(Factory factory) {
    FactorySlot() = std::move(factory);
}

bool CCommCtrl::Create(QObject* parent, unsigned id) {
    comm::SerialControl* control =
        FactorySlot() ? FactorySlot()(parent) : new comm::SerialControl(parent);
    if (!control) return false;
    control->setObjectName(QStringLiteral("control%1").arg(id));
    m_control = control;
    m_id = id;
    // Waits on OutBufferCount sleep until the next event: wake them whenever output moves.
    QObject::connect(control, &comm::SerialControl::outputProgress, &fw::WakeWaiter);
    QObject::connect(control, &comm::SerialControl::outputDrained, &fw::WakeWaiter);
    return true;
}

void CCommCtrl::SetEventSink(std::function<void()> sink) {
    ctrl().setEventSink(std::move(sink));
}

void CCommCtrl::SetLostHandler(std::function<void(const std::string&)> handler) {
    ctrl().setLostHandler([handler = std::move(handler)](const comm::Status& status) {
        if (handler) handler(status.description);
    });
}

comm::SerialControl& CCommCtrl::ctrl() const {
    if (m_control.isNull()) throw fw::ControlError("The serial control is not available.", -1);
    return *m_control;
}

bool CCommCtrl::GetCDHolding() const {
    return ctrl().cdHolding();
}
short CCommCtrl::GetCommPort() const {
    return ctrl().commPort();
}
void CCommCtrl::SetCommPort(short port) {
    Check(ctrl().setCommPort(port));
}
bool CCommCtrl::GetCTSHolding() const {
    return ctrl().ctsHolding();
}
bool CCommCtrl::GetDSRHolding() const {
    return ctrl().dsrHolding();
}
bool CCommCtrl::GetDTREnable() const {
    return ctrl().dtrEnable();
}
void CCommCtrl::SetDTREnable(bool on) {
    Check(ctrl().setDTREnable(on));
}
std::int32_t CCommCtrl::GetHandshaking() const {
    return ctrl().handshaking();
}
void CCommCtrl::SetHandshaking(std::int32_t value) {
    Check(ctrl().setHandshaking(value));
}
short CCommCtrl::GetInputLen() const {
    return ctrl().inputLen();
}
void CCommCtrl::SetInputLen(short value) {
    Check(ctrl().setInputLen(value));
}
short CCommCtrl::GetOutBufferSize() const {
    return ctrl().outBufferSize();
}
short CCommCtrl::GetOutBufferCount() const {
    return ctrl().outBufferCount();
}
std::string CCommCtrl::GetParityReplace() const {
    return ctrl().parityReplace();
}
void CCommCtrl::SetParityReplace(const std::string& value) {
    Check(ctrl().setParityReplace(value));
}
bool CCommCtrl::GetPortOpen() const {
    return ctrl().portOpen();
}
void CCommCtrl::SetPortOpen(bool open) {
    // Opening or closing changes OutBufferCount (0 while closed) without an event of its own.
    struct Wake {
        ~Wake() { fw::WakeWaiter(); }
    } wake;
    Check(ctrl().setPortOpen(open));
}
comm::PortPath CCommCtrl::GetOpenedPort() const {
    return ctrl().openedPort();
}
short CCommCtrl::GetRThreshold() const {
    return ctrl().rThreshold();
}
void CCommCtrl::SetRThreshold(short value) {
    Check(ctrl().setRThreshold(value));
}
bool CCommCtrl::GetRTSEnable() const {
    return ctrl().rtsEnable();
}
void CCommCtrl::SetRTSEnable(bool on) {
    Check(ctrl().setRTSEnable(on));
}
void CCommCtrl::SetBreak(bool on) {
    Check(ctrl().setBreak(on));
}
std::string CCommCtrl::GetSettings() const {
    return ctrl().settings();
}
void CCommCtrl::SetSettings(const std::string& value) {
    Check(ctrl().setSettings(value));
}
short CCommCtrl::GetSThreshold() const {
    return ctrl().sThreshold();
}
void CCommCtrl::SetSThreshold(short value) {
    Check(ctrl().setSThreshold(value));
}
void CCommCtrl::SetOutput(std::string_view bytes) {
    Check(ctrl().output(bytes));
}
std::string CCommCtrl::GetInput() {
    std::string bytes;
    Check(ctrl().input(bytes));
    return bytes;
}
short CCommCtrl::GetCommEvent() const {
    return ctrl().commEvent();
}
