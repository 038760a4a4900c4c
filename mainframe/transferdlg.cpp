#include "mainframe/transferdlg.h"

#include "transfer/protocol/blocks.h"

#include <QFormLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

CTransferDlg::CTransferDlg(QWidget* parent, const QString& title)
    : QDialog(parent) {
    setObjectName(QStringLiteral("transferDialog"));
    setWindowTitle(title);
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    m_name = new QLabel(this);
    m_name->setObjectName(QStringLiteral("transferName"));
    m_name->setTextFormat(Qt::PlainText);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 1000);
    m_bar->setMinimumWidth(320);
    auto* form = new QFormLayout;
    m_bytes = new QLabel(this);
    m_bytes->setObjectName(QStringLiteral("transferBytes"));
    m_rate = new QLabel(this);
    m_rate->setObjectName(QStringLiteral("transferRate"));
    form->addRow(tr("Bytes:"), m_bytes);
    form->addRow(tr("Rate:"), m_rate);
    m_cancel = new QPushButton(tr("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("transferCancel"));
    connect(m_cancel, &QPushButton::clicked, this, &CTransferDlg::cancelRequested);
    layout->addWidget(m_name);
    layout->addWidget(m_bar);
    layout->addLayout(form);
    layout->addWidget(m_cancel, 0, Qt::AlignRight);
    m_name->setText(tr("Waiting for the other end..."));
}

void CTransferDlg::setProgress(const std::string& name, std::uint64_t done,
                               std::optional<std::uint64_t> total, const std::string& rate) {
    if (!name.empty()) m_name->setText(QString::fromStdString(name));
    if (total) {
        m_bar->setRange(0, 1000);
        m_bar->setValue(*total == 0 ? 1000
                                    : static_cast<int>(std::min(done, *total) * 1000 / *total));
        m_bytes->setText(tr("%1 of %2").arg(QString::fromStdString(protocol::GroupDigits(done)),
                                            QString::fromStdString(protocol::GroupDigits(*total))));
    } else {
        m_bar->setRange(0, 0);
        m_bytes->setText(QString::fromStdString(protocol::GroupDigits(done)));
    }
    m_rate->setText(QString::fromStdString(rate));
}

void CTransferDlg::setCancelling() {
    m_cancel->setEnabled(false);
    m_cancel->setText(tr("Cancelling..."));
}

QString CTransferDlg::bytesText() const {
    return m_bytes->text();
}

void CTransferDlg::reject() {
    if (m_cancel->isEnabled()) emit cancelRequested();
}
