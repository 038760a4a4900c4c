#pragma once
// The program's only door to the serial control: typed accessors named after the control's
// properties. A refused access throws fw::ControlError with the control's description, which
// ends the handler it happens in (the guard reports it).

#include "comm/serialcontrol.h"
#include "framework/errors.h"

#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class CCommCtrl {
public:
    CCommCtrl() = default;
    ~CCommCtrl();
    CCommCtrl(const CCommCtrl&) = delete;
    CCommCtrl& operator=(const CCommCtrl&) = delete;

    // Creates the control as an invisible child of `parent` with child id `id`. False when the
    // control cannot be made.
    bool Create(QObject* parent, unsigned id);
    bool IsCreated() const { return !m_control.isNull(); }

    // The control's event (OnComm): `sink` runs with CommEvent holding the code.
    void SetEventSink(std::function<void()> sink);
    // Runs once when the open device goes away (unplugged, hung up), with the control's
    // description of it; by then the port is closed and what had arrived is still to be read.
    void SetLostHandler(std::function<void(const std::string& description)> handler);

    // Tests make the control unavailable (null) or hand in one of their own.
    using Factory = std::function<comm::SerialControl*(QObject* parent)>;
    static void SetFactory(Factory factory);

    comm::SerialControl* control() const { return m_control.data(); }

    bool GetCDHolding() const;
    short GetCommPort() const;
    void SetCommPort(short port);
    bool GetCTSHolding() const;
    bool GetDSRHolding() const;
    bool GetDTREnable() const;
    void SetDTREnable(bool on);
    std::int32_t GetHandshaking() const;
    void SetHandshaking(std::int32_t value);
    short GetInputLen() const;
    void SetInputLen(short value);
    short GetOutBufferSize() const;
    short GetOutBufferCount() const;
    std::string GetParityReplace() const;
    void SetParityReplace(const std::string& value);
    bool GetPortOpen() const;
    void SetPortOpen(bool open);
    // The port as last opened, kept after it closes or goes away.
    comm::PortPath GetOpenedPort() const;
    short GetRThreshold() const;
    void SetRThreshold(short value);
    bool GetRTSEnable() const;
    void SetRTSEnable(bool on);
    // Starts (on) or ends (off) a break condition on the open port's line.
    void SetBreak(bool on);
    std::string GetSettings() const;
    void SetSettings(const std::string& value);
    short GetSThreshold() const;
    void SetSThreshold(short value);
    void SetOutput(std::string_view bytes);
    std::string GetInput();
    short GetCommEvent() const;

private:
    comm::SerialControl& ctrl() const;

    QPointer<comm::SerialControl> m_control;
    unsigned m_id = 0;
};
