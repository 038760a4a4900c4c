#include "tests/support/framefixture.h"

#include "app/terminalapp.h"
#include "framework/application.h"
#include "framework/clock.h"
#include "res/resource.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>

FrameFixture::FrameFixture(const std::optional<std::string>& store) {
    m_hadRegistry = qEnvironmentVariableIsSet("WIRELOG_REGISTRY");
    m_oldRegistry = qgetenv("WIRELOG_REGISTRY");
    qputenv("WIRELOG_REGISTRY", QFile::encodeName(m_dir.filePath(QStringLiteral("registry.reg"))));
    if (store) {
        QFile file(m_dir.filePath(QStringLiteral("registry.reg")));
        if (file.open(QIODevice::WriteOnly))
            file.write(store->data(), static_cast<qint64>(store->size()));
    }
    // Frames start as on a machine whose locale is not UTF-8: Western, byte for byte, unless
    // a test chooses UTF-8 (the default follows the locale).
    qputenv("LC_ALL", "C");
    fw::ResetQuitForTests();
    // The application's own commands (About, Exit), as start-up registers them.
    fw::SetAppCommandRoute(&CTerminalApp::RouteCommand);
    auto* frame = new CMainFrame;
    if (!frame->LoadFrame()) {
        delete frame;
        return;
    }
    m_frame = frame;
    fw::SetMainWindow(frame);
    frame->resize(640, 480);
    frame->show();
}

FrameFixture::~FrameFixture() {
    QPointer<CMainFrame> frame = m_frame;
    flushDeletes();
    delete frame.data();
    fw::SetMainWindow(nullptr);
    fw::SetClockSource({});
    fw::ResetQuitForTests();
    if (m_hadRegistry)
        qputenv("WIRELOG_REGISTRY", m_oldRegistry);
    else
        qunsetenv("WIRELOG_REGISTRY");
}

PtyPair& FrameFixture::linkPort(int com) {
    if (!m_pty) m_pty = std::make_unique<PtyPair>();
    m_ports.link(com, m_pty->slavePath());
    if (m_frame) m_frame->comm().SetCommPort(static_cast<short>(com));
    return *m_pty;
}

bool FrameFixture::openPort(CMainFrame::Source source, int com) {
    if (!created()) return false;
    linkPort(com);
    m_frame->SendCommand(ID_COMM_PORT_OPEN, source);
    return m_frame->comm().GetPortOpen() && boxes.shown.empty();
}

std::string FrameFixture::storePath() const {
    return m_dir.filePath(QStringLiteral("registry.reg")).toStdString();
}

std::string FrameFixture::storeText() const {
    QFile file(m_dir.filePath(QStringLiteral("registry.reg")));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

std::string FrameFixture::tempPath(const std::string& name) const {
    return m_dir.filePath(QString::fromStdString(name)).toStdString();
}

std::string FrameFixture::screen() {
    m_frame->screen().flush();
    return std::string(m_frame->screen().text());
}

void FrameFixture::idle() {
    m_frame->OnIdleUpdate();
}

void FrameFixture::flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
