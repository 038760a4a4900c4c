#pragma once
// The progress dialog of a text file transmission: modeless, owned by the main frame, on
// the heap. Cancel (the button, Escape, the close box) sets the frame's m_bCancel and takes
// the dialog's window away; the object deletes itself once its window is gone.

#include "framework/dialog.h"

#include <memory>

class CMainFrame;
namespace Ui {
class CTransmitDlg;
}

class CTransmitDlg : public fw::Dialog {
    Q_OBJECT
public:
    explicit CTransmitDlg(CMainFrame* parent);
    ~CTransmitDlg() override;

    // Makes the window, visible at once.
    void Create();
    // True once OnCancel has taken the window away.
    bool IsGone() const { return m_gone; }

    void OnCancel() override;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    std::unique_ptr<Ui::CTransmitDlg> m_ui;
    CMainFrame* m_owner;
    bool m_gone = false;
};
