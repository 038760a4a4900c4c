#include "transfer/transmitdlg.h"

#include "ui_transmitdlg.h"

#include "framework/codepage.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

namespace {
constexpr QSize kSize{175, 69};
constexpr int kProgressHeight = 40; // pixels the progress bar and its figures take
} // namespace

std::string transfer::ProgressFigures(std::int64_t sent, std::int64_t total,
                                      std::int64_t elapsedMs) {
    std::string text =
        std::to_string(sent) + " of " + std::to_string(std::max(sent, total)) + " bytes";
    if (elapsedMs > 0) text += ", " + std::to_string(sent * 1000 / elapsedMs) + " bytes/s";
    return text;
}

CTransmitDlg::CTransmitDlg(QWidget* parent, Bool32& cancel)
    : fw::Dialog(parent, kSize)
    , m_ui(std::make_unique<Ui::CTransmitDlg>())
    , m_cancel(cancel) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    Layout();
    // The form's Cancel is a plain push button: it cancels through the dialog's own handler.
    connect(m_ui->buttonCancel, &QPushButton::clicked, this, &CTransmitDlg::reject);
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose, false);
}

CTransmitDlg::~CTransmitDlg() = default;

void CTransmitDlg::Create() {
    // The frame is disabled meanwhile; its own windows still take input.
    setEnabled(true);
    show();
    raise();
    activateWindow();
}

void CTransmitDlg::ShowProgress(std::int64_t sent, std::int64_t total, std::int64_t elapsedMs) {
    if (!m_bar) {
        // Below the text, above Cancel, which moves down to make room.
        const QRect text = m_ui->labelTransmitting->geometry();
        const int top = text.bottom() + 6, margin = 10;
        m_bar = new QProgressBar(this);
        m_bar->setObjectName(QStringLiteral("transmitProgress"));
        m_bar->setGeometry(margin, top, width() - 2 * margin, 16);
        m_figures = new QLabel(this);
        m_figures->setObjectName(QStringLiteral("transmitFigures"));
        m_figures->setAlignment(Qt::AlignCenter);
        m_figures->setGeometry(margin, top + 18, width() - 2 * margin, 18);
        m_ui->buttonCancel->move(m_ui->buttonCancel->pos() + QPoint(0, kProgressHeight));
        setFixedSize(width(), height() + kProgressHeight);
        m_bar->show();
        m_figures->show();
    }
    // The bar counts in per mille so that totals beyond an int fit.
    const std::int64_t whole = std::max<std::int64_t>(std::max(sent, total), 1);
    m_bar->setRange(0, 1000);
    m_bar->setValue(static_cast<int>(sent * 1000 / whole));
    m_figures->setText(fw::FromAnsi(transfer::ProgressFigures(sent, total, elapsedMs)));
}

void CTransmitDlg::OnCancel() {
    if (m_gone) return;
    m_gone = true;
    m_cancel = 1;
    hide();
    deleteLater();
}

void CTransmitDlg::closeEvent(QCloseEvent* e) {
    e->ignore();
    reject();
}
