#pragma once
// The progress dialog of a text file transmission: modeless, owned by the main frame, on
// the heap. Cancel (the button, Escape, the close box) sets the transmission's cancel flag and
// takes the dialog's window away; the object deletes itself once its window is gone.

#include "framework/dialog.h"
#include "framework/types.h"

#include <cstdint>
#include <memory>
#include <string>

class QLabel;
class QProgressBar;

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

    // Shows (the first call grows the dialog for it) a bar with `sent` of `total` bytes and
    // beneath it the figures, with the rate over `elapsedMs`. A paced transmission takes long
    // enough for the user to want them.
    void ShowProgress(std::int64_t sent, std::int64_t total, std::int64_t elapsedMs);
    QProgressBar* progressBar() const { return m_bar; }
    QLabel* figuresLabel() const { return m_figures; }

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    std::unique_ptr<Ui::CTransmitDlg> m_ui;
    Bool32& m_cancel;
    bool m_gone = false;
    QProgressBar* m_bar = nullptr;
    QLabel* m_figures = nullptr;
};

namespace transfer {

// "1200 of 5000 bytes, 960 bytes/s": the rate over `elapsedMs`, left out before any time has
// passed. A total below what was sent counts as the sent count.
std::string ProgressFigures(std::int64_t sent, std::int64_t total, std::int64_t elapsedMs);

} // namespace transfer
