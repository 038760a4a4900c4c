#pragma once
// "Transmit Pacing": the delay after each character and after each line end, in milliseconds
// (0 to kMaxPacingMs each; 0 sends at once). OK writes both back; Cancel changes nothing.

#include "framework/dialog.h"

class QSpinBox;

namespace settings {

inline constexpr int kMaxPacingMs = 10000;

struct Pacing {
    int charMs = 0; // after each character
    int lineMs = 0; // after each line end
    friend bool operator==(const Pacing&, const Pacing&) = default;
};

// A stored delay as the dialog takes it: out of range is damage, and 0 stands in.
int PacingDelay(long long stored);

} // namespace settings

class CPacingDlg : public fw::Dialog {
    Q_OBJECT
public:
    CPacingDlg(QWidget* parent, settings::Pacing& pacing);
    ~CPacingDlg() override;

    QSpinBox* charField() const { return m_char; }
    QSpinBox* lineField() const { return m_line; }

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    settings::Pacing& m_pacing;
    QSpinBox* m_char = nullptr;
    QSpinBox* m_line = nullptr;
};
