#pragma once
// The progress dialog of a text file transmission: modeless, owned by the main frame, on
// the heap. Cancel (the button, Escape, the close box) sets the transmission's cancel flag and
// takes the dialog's window away; the object deletes itself once its window is gone.

#include "framework/dialog.h"
#include "framework/types.h"

#include <memory>

namespace Ui {
class CTransmitDlg;
}

class CTransmitDlg : public fw::Dialog {
    Q_OBJECT
public:
    CTransmitDlg(QWidget* parent, Bool32& cancel);
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
    Bool32& m_cancel;
    bool m_gone = false;
};
