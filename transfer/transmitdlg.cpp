#include "transfer/transmitdlg.h"

#include "ui_transmitdlg.h"

#include <QCloseEvent>
#include <QPushButton>

namespace {
constexpr QSize kSize{175, 69};
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
