#include "transfer/modem.h"

#include "comm/ccommctrl.h"
#include "framework/errors.h"
#include "framework/stringtable.h"
#include "res/resource.h"

#include <QTimer>

namespace transfer {

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

void DialPhone(const std::function<void(std::string_view)>& send, std::string& lastNumber,
               const AskValue& ask) {
    const auto number = ask(fw::LoadString(IDS_PHONE_NUMBER), lastNumber);
    if (!number) return;
    lastNumber = *number;
    send(FormatWithArgument(fw::LoadString(IDS_DIAL_STRING), lastNumber));
}

namespace {

// The second half of a hang-up: DTR down until the timer, then DTREnable as it was.
class HangUpPulse final : public QObject {
public:
    HangUpPulse(QObject& owner, CCommCtrl& comm, bool was)
        : QObject(&owner)
        , m_comm(comm)
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
        if (!m_comm.GetDTREnable()) m_comm.SetDTREnable(m_was);
    }

private:
    CCommCtrl& m_comm;
    bool m_was;
    QTimer m_timer;
};

HangUpPulse* RunningPulse(QObject& owner) {
    return static_cast<HangUpPulse*>(owner.findChild<QObject*>(
        QString::fromLatin1(HangUpPulse::kName), Qt::FindDirectChildrenOnly));
}

} // namespace

void HangUp(QObject& owner, CCommCtrl& comm) {
    if (RunningPulse(owner)) return;
    const bool was = comm.GetDTREnable();
    comm.SetDTREnable(true);
    comm.SetDTREnable(false);
    new HangUpPulse(owner, comm, was);
}

void EndHangUp(QObject& owner) {
    if (HangUpPulse* pulse = RunningPulse(owner)) pulse->finish();
}

} // namespace transfer
