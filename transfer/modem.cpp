#include "transfer/modem.h"

#include "framework/stringtable.h"
#include "mainframe/mainframe.h"
#include "res/resource.h"
#include "settings/valuedlg.h"

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

void HangUp(CMainFrame& frame) {
    CCommCtrl& comm = frame.m_wndComm;
    const bool was = comm.GetDTREnable();
    comm.SetDTREnable(true);
    comm.SetDTREnable(false);
    comm.SetDTREnable(was);
}
