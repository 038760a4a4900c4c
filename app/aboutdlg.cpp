#include "app/aboutdlg.h"

#include "app/identity.h"
#include "ui_aboutdlg.h"

namespace {
constexpr QSize kSize{217, 77};
}

CAboutDlg::CAboutDlg()
    : fw::Dialog(nullptr, kSize)
    , m_ui(std::make_unique<Ui::CAboutDlg>()) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    Layout();
    connect(m_ui->buttonOk, &QPushButton::clicked, this, &CAboutDlg::accept);
    m_strNotice = app::Notice();
    m_strCredits = app::Credits();
}

CAboutDlg::~CAboutDlg() = default;

void CAboutDlg::DoDataExchange(fw::DataExchange& dx) {
    if (!dx.saving()) ShowIdentity(*this, m_strNotice, m_strCredits);
}
