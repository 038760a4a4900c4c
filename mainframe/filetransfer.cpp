// File › Send File and File › Receive File: what each asks before it starts, the transfer's
// window and status bar note while it runs, the one line it leaves in the log view and the
// text log, and the offer to receive when the device starts a ZMODEM send by itself.

#include "framework/codepage.h"
#include "framework/filedialog.h"
#include "framework/msgbox.h"
#include "framework/stringtable.h"
#include "mainframe/mainframe.h"
#include "mainframe/transferdlg.h"
#include "res/resource.h"
#include "transfer/protocol/receivingfile.h"
#include "transfer/zmodemprocess.h"

#include <QTimer>

#include <sys/stat.h>

namespace {

// Handshaking values of the control that include Xon/Xoff, and what is left without it.
constexpr std::int32_t kXonXoff = 1, kXonXoffAndRtsCts = 3, kRtsCts = 2, kNone = 0;

struct TransferCommand {
    unsigned id;
    session::Protocol protocol;
    bool sending;
};
constexpr TransferCommand kTransferCommands[] = {
    {ID_FILE_SEND_XMODEM, session::Protocol::Xmodem, true},
    {ID_FILE_SEND_YMODEM, session::Protocol::Ymodem, true},
    {ID_FILE_SEND_ZMODEM, session::Protocol::Zmodem, true},
    {ID_FILE_RECEIVE_XMODEM, session::Protocol::Xmodem, false},
    {ID_FILE_RECEIVE_YMODEM, session::Protocol::Ymodem, false},
    {ID_FILE_RECEIVE_ZMODEM, session::Protocol::Zmodem, false},
};

const TransferCommand* FindTransferCommand(unsigned id) {
    for (const TransferCommand& command : kTransferCommands)
        if (command.id == id) return &command;
    return nullptr;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool AskReplace(const std::string& path) {
    return fw::MessageBox(fw::FormatString(IDS_XFER_OVERWRITE, {path}), fw::Buttons::OkCancel) ==
           fw::Answer::Ok;
}

} // namespace

bool CMainFrame::TransferRunning() const {
    return m_transfer && m_transfer->running();
}

void CMainFrame::OnUpdateFileTransfer(fw::CmdUI& ui) {
    const TransferCommand* command = FindTransferCommand(ui.id());
    if (!command) return;
    bool usable = true;
    if (command->protocol == session::Protocol::Zmodem) {
        // Without lrzsz the items say what is missing.
        usable = transfer::ZmodemProcess::MissingText().isEmpty();
        ui.SetText(usable ? "&ZMODEM..." : "&ZMODEM (needs lrzsz)");
    }
    ui.Enable(usable && m_wndComm.GetPortOpen() && !m_transfer);
}

void CMainFrame::OnFileTransfer(unsigned id) {
    const TransferCommand* command = FindTransferCommand(id);
    if (!command || m_transfer) return;
    session::TransferPlan plan;
    plan.protocol = command->protocol;
    plan.sending = command->sending;
    if (plan.sending) {
        plan.files = fw::GetOpenFileNames(this, plan.protocol == session::Protocol::Xmodem
                                                    ? "Send a File with XMODEM"
                                                    : "Send Files");
        if (plan.files.empty()) return;
        if (plan.protocol == session::Protocol::Xmodem) plan.files.resize(1);
    } else if (!ChooseReceiveTarget(plan)) {
        return;
    }
    StartTransfer(std::move(plan));
}

bool CMainFrame::ChooseReceiveTarget(session::TransferPlan& plan) {
    if (plan.protocol != session::Protocol::Xmodem) {
        const auto folder = fw::GetFolderName(this, "Receive Files Into", m_strReceiveFolder);
        if (!folder) return false;
        if (!IsFolder(*folder)) {
            fw::MessageBox(*folder + " is not a folder.", fw::Buttons::Ok, fw::Icon::Stop);
            return false;
        }
        plan.folder = m_strReceiveFolder = *folder;
        return true;
    }
    const auto path = fw::GetOpenFileName(this, "", "All Files (*.*)|*.*||", true);
    if (!path) return false;
    const auto slash = path->rfind('/');
    plan.folder = slash == std::string::npos ? "." : path->substr(0, slash);
    plan.name = path->substr(slash == std::string::npos ? 0 : slash + 1);
    const protocol::NameCheck check = protocol::CheckReceivedName(plan.name);
    if (!check.error.empty()) {
        fw::MessageBox(check.error, fw::Buttons::Ok, fw::Icon::Stop);
        return false;
    }
    struct stat st {};
    if (::stat(path->c_str(), &st) == 0 && !AskReplace(*path)) return false;
    plan.stripPadding =
        fw::MessageBox(IDS_XFER_STRIP, fw::Buttons::OkCancel, fw::Icon::Information) ==
        fw::Answer::Ok;
    return true;
}

// Xon/Xoff would eat the 0x11 and 0x13 bytes of the block protocols: switched off for the
// transfer when the user agrees.
bool CMainFrame::ClearXonXoff(session::Protocol protocol) {
    if (protocol == session::Protocol::Zmodem) return true; // sz and rz escape them
    const std::int32_t handshaking = m_wndComm.GetHandshaking();
    if (handshaking != kXonXoff && handshaking != kXonXoffAndRtsCts) return true;
    if (fw::MessageBox(fw::FormatString(IDS_XFER_XONXOFF, {session::ProtocolName(protocol)}),
                       fw::Buttons::OkCancel) != fw::Answer::Ok)
        return false;
    m_wndComm.SetHandshaking(handshaking == kXonXoff ? kNone : kRtsCts);
    m_savedHandshaking = handshaking;
    return true;
}

bool CMainFrame::StartTransfer(session::TransferPlan plan) {
    if (m_transfer || !m_wndComm.GetPortOpen() || !ClearXonXoff(plan.protocol)) return false;
    const QString title = QStringLiteral("%1 with %2").arg(
        plan.sending ? QStringLiteral("Sending") : QStringLiteral("Receiving"),
        QString::fromLatin1(session::ProtocolName(plan.protocol)));
    m_transfer = std::make_unique<session::FileTransfer>(m_session, std::move(plan), AskReplace);
    connect(m_transfer.get(), &session::FileTransfer::progress, this,
            &CMainFrame::OnTransferProgress);
    connect(m_transfer.get(), &session::FileTransfer::finished, this,
            &CMainFrame::OnTransferEnded);
    if (!m_transfer->start()) {
        const std::string error = m_transfer->error();
        m_transfer.reset();
        RestoreXonXoff();
        fw::MessageBox(error, fw::Buttons::Ok, fw::Icon::Stop);
        return false;
    }
    m_pSendBar->setEnabled(false);
    m_pTransferDlg = new CTransferDlg(this, title);
    connect(m_pTransferDlg, &CTransferDlg::cancelRequested, this, [this] {
        if (!m_transfer) return;
        m_pTransferDlg->setCancelling();
        m_transfer->cancel();
    });
    m_pTransferDlg->show();
    OnTransferProgress();
    return true;
}

void CMainFrame::OnTransferProgress() {
    if (!m_transfer || !m_transfer->running()) return;
    if (m_transfer->waitingForQueue()) return; // the note says why it waits
    m_session.holdNote(m_transfer->progressText());
    if (m_pTransferDlg)
        m_pTransferDlg->setProgress(m_transfer->fileName(), m_transfer->done(),
                                    m_transfer->total(),
                                    protocol::RateText(m_transfer->bytesPerSecond()));
}

void CMainFrame::OnTransferEnded(const QString& summary, const QString& failure) {
    m_session.releaseNote();
    m_session.markLine(summary.toStdString());
    if (m_pTransferDlg) {
        m_pTransferDlg->hide();
        m_pTransferDlg->deleteLater();
        m_pTransferDlg = nullptr;
    }
    m_pSendBar->setEnabled(true);
    RestoreXonXoff();
    // The transfer object may still hold the line a moment after a failure: it goes once it
    // has let go.
    session::FileTransfer* ended = m_transfer.release();
    ended->setParent(this);
    QTimer::singleShot(1000, ended, &QObject::deleteLater);
    if (!failure.isEmpty()) {
        m_session.note(failure.toStdString());
        fw::MessageBox(failure.toStdString(), fw::Buttons::Ok, fw::Icon::Stop);
    }
}

void CMainFrame::RestoreXonXoff() {
    if (m_savedHandshaking < 0) return;
    const std::int32_t saved = std::exchange(m_savedHandshaking, -1);
    if (m_wndComm.GetPortOpen()) m_wndComm.SetHandshaking(saved);
}

void CMainFrame::WatchForZmodem() {
    m_session.setReceiveWatch([this](std::string_view bytes) {
        if (!m_zmodemStart.feed(bytes)) return;
        m_zmodemStart.reset();
        // Asked once the receive road has finished with this chunk.
        QTimer::singleShot(0, this, [this] { OfferZmodemReceive(); });
    });
}

void CMainFrame::OfferZmodemReceive() {
    // The device repeats its request while the question is open: it is asked once.
    static bool asking = false;
    if (asking || m_transfer || !m_wndComm.GetPortOpen() ||
        !transfer::ZmodemProcess::MissingText().isEmpty())
        return;
    asking = true;
    const fw::Answer answer =
        fw::MessageBox(IDS_XFER_ZMODEM_OFFER, fw::Buttons::OkCancel, fw::Icon::Information);
    asking = false;
    if (answer != fw::Answer::Ok) return;
    session::TransferPlan plan;
    plan.protocol = session::Protocol::Zmodem;
    plan.sending = false;
    if (ChooseReceiveTarget(plan)) StartTransfer(std::move(plan));
}
