#include "transfer/modem.h"

#include "framework/errors.h"
#include "framework/stringtable.h"
#include "mainframe/mainframe.h"
#include "res/resource.h"
#include "settings/valuedlg.h"

#include <QTimer>

std::string FormatWithArgument(std::string_view format, std::string_view argument) {
    std::string out;
    out.reserve(format.size() + argument.size());
    bool used = false;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            if (format[i + 1] == '%') {
                out.push_back('%');
                ++i;
                continue;
            }
            if (format[i + 1] == 's' && !used) {
                out.append(argument);
                used = true;
                ++i;
                continue;
            }
        }
        out.push_back(format[i]);
    }
    return out;
}

void DialPhone(CMainFrame& frame) {
    CValueDlg prompt(&frame);
    prompt.m_strPrompt = fw::LoadString(IDS_PHONE_NUMBER);
    prompt.m_strValue = frame.m_strPhoneNumber;
    if (prompt.DoModal() != QDialog::Accepted) return;
    frame.m_strPhoneNumber = prompt.m_strValue;
    frame.m_wndComm.SetOutput(
        FormatWithArgument(fw::LoadString(IDS_DIAL_STRING), frame.m_strPhoneNumber));
}

namespace {

// The second half of a hang-up: DTR down until the timer, then DTREnable as it was.
class HangUpPulse final : public QObject {
public:
    HangUpPulse(CMainFrame& frame, bool was)
        : QObject(&frame)
        , m_frame(frame)
        , m_was(was) {
        setObjectName(QString::fromLatin1(kName));
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this,
                [this] { fw::Guard(fw::Entry::WindowMessage, [this] { finish(); }); });
        m_timer.start(kHangUpMs);
    }

    static constexpr const char* kName = "hangUpPulse";

    // Puts DTREnable back, once; the pulse is then gone for any later lookup.
    void finish() {
        m_timer.stop();
        setParent(nullptr);
        deleteLater();
        // DTR toggled by the user meanwhile is left as the user put it.
        if (!m_frame.m_wndComm.GetDTREnable()) m_frame.m_wndComm.SetDTREnable(m_was);
    }

private:
    CMainFrame& m_frame;
    bool m_was;
    QTimer m_timer;
};

HangUpPulse* RunningPulse(CMainFrame& frame) {
    return static_cast<HangUpPulse*>(frame.findChild<QObject*>(
        QString::fromLatin1(HangUpPulse::kName), Qt::FindDirectChildrenOnly));
}

} // namespace

void HangUp(CMainFrame& frame) {
    if (RunningPulse(frame)) return;
    CCommCtrl& comm = frame.m_wndComm;
    const bool was = comm.GetDTREnable();
    comm.SetDTREnable(true);
    comm.SetDTREnable(false);
    new HangUpPulse(frame, was);
}

void EndHangUp(CMainFrame& frame) {
    if (HangUpPulse* pulse = RunningPulse(frame)) pulse->finish();
}
