#include "app/splashdlg.h"

#include "app/identity.h"
#include "ui_splashdlg.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QTimerEvent>

namespace {
constexpr QSize kSize{217, 78};
}

CSplashDlg::CSplashDlg(QWidget* parent)
    : fw::Dialog(parent, kSize)
    , m_ui(std::make_unique<Ui::CSplashDlg>()) {
    m_ui->setupUi(this);
    // A bordered popup with no caption, no system menu and no buttons.
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setObjectName(QStringLiteral("CSplashDlg"));
    setStyleSheet(QStringLiteral("CSplashDlg { border: 2px outset palette(mid); }"));
    Layout();
    m_strNotice = app::Notice();
    m_strCredits = app::Credits();
}

CSplashDlg::~CSplashDlg() = default;

bool CSplashDlg::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    m_timer.start(kShowMs, this);
    return true;
}

void CSplashDlg::DoDataExchange(fw::DataExchange& dx) {
    if (!dx.saving()) ShowIdentity(*this, m_strNotice, m_strCredits);
}

void CSplashDlg::timerEvent(QTimerEvent* e) {
    if (e->timerId() == m_timer.timerId()) QDialog::accept();
    fw::Dialog::timerEvent(e);
}

void CSplashDlg::closeEvent(QCloseEvent* e) {
    // Alt+F4: stop the timer, then end as cancelled.
    m_timer.stop();
    e->ignore();
    QDialog::reject();
}

void CSplashDlg::keyPressEvent(QKeyEvent* e) {
    // Alt+F4 closes it also where no window manager turns the key into a close request.
    if (e->key() == Qt::Key_F4 && e->modifiers() == Qt::AltModifier) {
        close();
        return;
    }
    fw::Dialog::keyPressEvent(e);
}
