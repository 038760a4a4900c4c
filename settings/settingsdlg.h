#pragma once
// "Communication Settings": COM port, baud rate, parity, data bits, stop bits, flow control
// and local echo. Start values come from the control and the screen's echo flag when the
// dialog is made; OK writes them straight back (Settings, echo, Handshaking, CommPort, in
// that order) and keeps nothing itself.

#include "framework/dialog.h"
#include "framework/types.h"

#include <array>
#include <memory>
#include <string>

class CMainFrame;
class QRadioButton;
namespace Ui {
class CSettingsDlg;
}

class CSettingsDlg : public fw::Dialog {
    Q_OBJECT
public:
    explicit CSettingsDlg(CMainFrame* parent);
    ~CSettingsDlg() override;

    int m_nBaud = 0;
    int m_nDataBits = 0;
    int m_nEcho = 0;
    int m_nFlowControl = 0;
    int m_nParity = 0;
    int m_nStopBits = 0;
    std::string m_strPort;
    int m_nPort = 0;

    // The controls, for tests and the modal driver.
    QRadioButton* radio(int id) const;
    class QLineEdit* portField() const;

protected:
    void DoDataExchange(fw::DataExchange& dx) override;
    void OnOK() override;

private:
    std::unique_ptr<Ui::CSettingsDlg> m_ui;
    std::array<QRadioButton*, 8> m_baud{};
    std::array<QRadioButton*, 2> m_dataBits{};
    std::array<QRadioButton*, 2> m_echo{};
    std::array<QRadioButton*, 4> m_flowControl{};
    std::array<QRadioButton*, 3> m_parity{};
    std::array<QRadioButton*, 2> m_stopBits{};
};
