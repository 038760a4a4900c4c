#pragma once
// A one-line prompt: the caller sets m_strPrompt and m_strValue, shows it modally and reads
// m_strValue back after OK. Caption "Wirelog", centred over the main window; the value
// starts selected so that typing replaces it.

#include "framework/dialog.h"

#include <memory>
#include <string>

class CCommCtrl;
class QLabel;
class QLineEdit;
namespace Ui {
class CValueDlg;
}

class CValueDlg : public fw::Dialog {
    Q_OBJECT
public:
    explicit CValueDlg(QWidget* parent);
    ~CValueDlg() override;

    std::string m_strPrompt;
    std::string m_strValue;

    QLabel* promptLabel() const;
    QLineEdit* valueField() const;

protected:
    bool OnInitDialog() override;
    void DoDataExchange(fw::DataExchange& dx) override;

private:
    std::unique_ptr<Ui::CValueDlg> m_ui;
};

// The four property prompts of the Settings menu (InputLen, RThreshold, SThreshold,
// ParityReplace), shown with `prompt`, which the command handler made.
void PromptForValue(CCommCtrl& comm, CValueDlg& prompt, unsigned commandId);

// Text to a number as the prompts read it: blanks, an optional sign, digits up to the first
// other character, 0 when there are none; the low 16 bits as a signed value.
short PromptNumber(const std::string& text);
