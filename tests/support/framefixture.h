#pragma once
// A real main frame for tests: a temporary settings store and port map, scripted boxes and
// file dialogs, the frame made, registered as the main window and shown (offscreen).

#include "mainframe/mainframe.h"
#include "tests/support/ptypair.h"
#include "tests/support/scriptedui.h"

#include <QPointer>
#include <QTemporaryDir>

#include <memory>
#include <string>

class FrameFixture {
public:
    // `store` is the text of the settings file to start with; none leaves it missing.
    explicit FrameFixture(const std::optional<std::string>& store = std::nullopt);
    ~FrameFixture();

    CMainFrame& frame() { return *m_frame; }
    CMainFrame* operator->() { return m_frame; }
    bool created() const { return m_frame != nullptr; }

    // Links COM<com> to the slave of `pty` (made on first use) and selects that port.
    PtyPair& linkPort(int com = 7);
    PtyPair& pty() { return *m_pty; }
    // The common start of a test on an open port: links COM<com> as linkPort does and opens it
    // as the user would (Port Open from `source`). False when the frame was not made, the port
    // did not open, or a box was shown.
    bool openPort(CMainFrame::Source source = CMainFrame::Source::Menu, int com = 7);
    PortLink& ports() { return m_ports; }

    std::string storePath() const;
    std::string storeText() const;
    std::string tempPath(const std::string& name) const;

    // The screen's text once the widget has caught up.
    std::string screen();
    // Runs the frame's idle update, as the event loop does when it falls idle.
    void idle();
    // Lets the posted deletions happen (a closed frame goes).
    static void flushDeletes();

    ScriptedMessageBoxes boxes;
    ScriptedFileDialogs files;

private:
    QTemporaryDir m_dir;
    QByteArray m_oldRegistry;
    bool m_hadRegistry = false;
    PortLink m_ports;
    std::unique_ptr<PtyPair> m_pty;
    QPointer<CMainFrame> m_frame; // null once the frame has closed and gone
};
