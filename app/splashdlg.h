#pragma once
// The splash screen shown once at start-up: the About box's picture without caption or
// buttons. It ends itself after three seconds, at once on Enter, Escape or Alt+F4.

#include "framework/dialog.h"

#include <QBasicTimer>

#include <memory>
#include <string>

namespace Ui {
class CSplashDlg;
}

class CSplashDlg : public fw::Dialog {
    Q_OBJECT
public:
    explicit CSplashDlg(QWidget* parent);
    ~CSplashDlg() override;

    std::string m_strNotice;
    std::string m_strCredits;

    static constexpr int kShowMs = 3000;

protected:
    bool OnInitDialog() override;
    void DoDataExchange(fw::DataExchange& dx) override;
    void timerEvent(QTimerEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    std::unique_ptr<Ui::CSplashDlg> m_ui;
    QBasicTimer m_timer;
};
