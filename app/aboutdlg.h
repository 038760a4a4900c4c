#pragma once
// "About Wirelog": the program icon, version, description, the two run-time labels and the
// origin line.

#include "framework/dialog.h"

#include <memory>
#include <string>

namespace Ui {
class CAboutDlg;
}

class CAboutDlg : public fw::Dialog {
    Q_OBJECT
public:
    CAboutDlg();
    ~CAboutDlg() override;

    std::string m_strNotice;
    std::string m_strCredits;

protected:
    void DoDataExchange(fw::DataExchange& dx) override;

private:
    std::unique_ptr<Ui::CAboutDlg> m_ui;
};
