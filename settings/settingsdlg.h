#pragma once
// "Communication Settings": COM port, baud rate, parity, data bits, stop bits, flow control
// and local echo. Start values come from the control and the screen's echo flag when the
// dialog is made; OK writes them straight back (Settings, echo, Handshaking, CommPort, in
// that order) and keeps nothing itself.
//
// The baud group's ninth button, "Other", takes any rate typed or picked in its field; a rate
// without a button of its own starts there, exactly as the control holds it. The port field
// lists the ports present when the dialog is made; picking one puts its number in the field.

#include "framework/dialog.h"
#include "framework/types.h"

#include <array>
#include <memory>
#include <string>

class CCommCtrl;
class QComboBox;
class QRadioButton;
namespace Ui {
class CSettingsDlg;
}

class CSettingsDlg : public fw::Dialog {
    Q_OBJECT
public:
    // Starts from what `comm` and `echo` hold, and puts the choice back into them on OK.
    CSettingsDlg(QWidget* parent, CCommCtrl& comm, Bool32& echo);
    ~CSettingsDlg() override;

    int m_nBaud = 0;
    int m_nDataBits = 0;
    int m_nEcho = 0;
    int m_nFlowControl = 0;
    int m_nParity = 0;
    int m_nStopBits = 0;
    std::string m_strPort;
    int m_nPort = 0;
    std::string m_strOtherBaud; // the "Other" rate field's text

    // The controls, for tests and the modal driver.
    QRadioButton* radio(int id) const;
    class QLineEdit* portField() const;
    QComboBox* portList() const;
    QComboBox* otherBaudField() const;

protected:
    void DoDataExchange(fw::DataExchange& dx) override;
    void OnOK() override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void FillPortList();
    void FocusOtherBaud();

    std::unique_ptr<Ui::CSettingsDlg> m_ui;
    CCommCtrl& m_comm;
    Bool32& m_screenEcho;                  // the screen's local echo
    long m_openedRate = 0;                 // the "Other" rate the dialog opened with
    std::array<QRadioButton*, 9> m_baud{}; // the eight rates, then "Other"
    std::array<QRadioButton*, 2> m_dataBits{};
    std::array<QRadioButton*, 2> m_echo{};
    std::array<QRadioButton*, 4> m_flowControl{};
    std::array<QRadioButton*, 3> m_parity{};
    std::array<QRadioButton*, 2> m_stopBits{};
};
