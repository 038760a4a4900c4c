// The terminal view against a real shell behind a pseudo-terminal: what the shell prints is
// fed to the view, what the view sends is written to the shell. Every wait is bounded.
#include "terminal/vtview.h"

#include <QApplication>
#include <QKeyEvent>
#include <QSocketNotifier>
#include <QTest>

#include <csignal>
#include <fstream>
#include <string>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace terminal;

namespace {

constexpr int kWaitMs = 10000;

// bash on the slave side of a fresh pseudo-terminal, in its own session.
class Shell {
public:
    explicit Shell(VtView& view) : m_view(view) {
        winsize size{};
        size.ws_row = static_cast<unsigned short>(view.screen().grid().rows());
        size.ws_col = static_cast<unsigned short>(view.screen().grid().cols());
        int slave = -1;
        if (openpty(&m_master, &slave, nullptr, nullptr, &size) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            setsid();
            ioctl(slave, TIOCSCTTY, 0);
            dup2(slave, 0);
            dup2(slave, 1);
            dup2(slave, 2);
            close(m_master);
            setenv("TERM", "xterm-256color", 1);
            setenv("LANG", "C.UTF-8", 1);
            setenv("PS1", "$ ", 1);
            setenv("HISTFILE", "/dev/null", 1);
            execlp("bash", "bash", "--norc", "--noprofile", "-i", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(slave);
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
        m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read);
        QObject::connect(m_notifier, &QSocketNotifier::activated, [this] { readAll(); });
        view.setOutputSink([this](std::string_view s) {
            for (std::size_t done = 0; done < s.size();) {
                const ssize_t n = ::write(m_master, s.data() + done, s.size() - done);
                if (n <= 0) break;
                done += static_cast<std::size_t>(n);
            }
        });
    }
    ~Shell() {
        delete m_notifier;
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_master >= 0) close(m_master);
    }
    bool started() const { return m_pid > 0; }
    // A job of the shell holds the terminal (the shell has handed it the foreground), so a
    // Ctrl+C now reaches that job and not the shell on its way to starting it.
    bool jobInForeground() const {
        const pid_t foreground = tcgetpgrp(m_master);
        return foreground > 0 && foreground != m_pid;
    }
    // The program the job in the foreground runs now ("" when the shell has the terminal): a
    // job's process is the shell's until it has exec'd, and a signal before that may be lost.
    std::string foregroundProgram() const {
        if (!jobInForeground()) return {};
        std::ifstream comm("/proc/" + std::to_string(tcgetpgrp(m_master)) + "/comm");
        std::string name;
        std::getline(comm, name);
        return name;
    }

private:
    void readAll() {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(m_master, buf, sizeof buf)) > 0) m_view.feed(std::string_view(buf, static_cast<std::size_t>(n)));
        if (n == 0 || (n < 0 && errno != EAGAIN)) m_notifier->setEnabled(false);
        m_view.flush();
    }

    VtView& m_view;
    int m_master = -1;
    pid_t m_pid = -1;
    QSocketNotifier* m_notifier = nullptr;
};

QStringList Lines(const VtView& view) {
    QStringList out;
    for (std::size_t i = 0; i < view.screen().lineCount(); ++i)
        out << QString::fromStdString(view.screen().lineText(i));
    return out;
}

// Each character as a key press carrying its text (what a keyboard layout or compose gives).
void Type(VtView& view, const QString& text) {
    for (char32_t c : text.toStdU32String()) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUcs4(&c, 1));
        QApplication::sendEvent(&view, &press);
    }
    QTest::keyClick(&view, Qt::Key_Return);
}

} // namespace

class TestVtShell : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void colouredOutputHasNoEscapes();
    void upRecallsTheCommand();
    void ctrlCStopsSleep();
    void fullScreenProgramKeepsScrollback();
    void utf8RoundTrips();
    void cursorPositionIsAnswered();

private:
    VtView* m_view = nullptr;
    Shell* m_shell = nullptr;
};

void TestVtShell::init() {
    m_view = new VtView;
    m_view->resize(640, 400);
    m_view->show();
    m_view->setFocus();
    m_shell = new Shell(*m_view);
    QVERIFY(m_shell->started());
    QTRY_VERIFY_WITH_TIMEOUT(Lines(*m_view).contains("$"), kWaitMs);
}

void TestVtShell::cleanup() {
    delete m_shell;
    delete m_view;
}

void TestVtShell::colouredOutputHasNoEscapes() {
    Type(*m_view, "printf '\\e[31mred\\e[0m \\e[1;38;5;208mamber\\e[0m\\n'");
    QTRY_VERIFY_WITH_TIMEOUT(Lines(*m_view).contains("red amber"), kWaitMs);
    const std::size_t line = static_cast<std::size_t>(Lines(*m_view).indexOf("red amber"));
    const VtRow row = m_view->screen().line(line);
    QCOMPARE(row.cells[0].fg, VtColor::indexed(1));
    QCOMPARE(row.cells[4].fg, VtColor::indexed(208));
    QVERIFY(row.cells[4].attrs & kAttrBold);
    QVERIFY(!m_view->readerText().contains(QChar(0x1b)));
}

void TestVtShell::upRecallsTheCommand() {
    Type(*m_view, "echo recall-$((6*7))");
    QTRY_VERIFY_WITH_TIMEOUT(Lines(*m_view).count("recall-42") == 1, kWaitMs);
    QTest::keyClick(m_view, Qt::Key_Up);
    QTest::keyClick(m_view, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(Lines(*m_view).count("recall-42") == 2, kWaitMs);
}

void TestVtShell::ctrlCStopsSleep() {
    Type(*m_view, "sleep 100; echo slept");
    QTRY_VERIFY_WITH_TIMEOUT(Lines(*m_view).contains("$ sleep 100; echo slept"), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(m_shell->foregroundProgram(), std::string("sleep"), kWaitMs);
    QTest::keyClick(m_view, Qt::Key_C, Qt::ControlModifier);
    // As a person would, type on once the shell has the terminal back: what is typed while
    // the job still holds it may be read or dropped by the job, not the shell.
    QTRY_VERIFY_WITH_TIMEOUT(!m_shell->jobInForeground(), kWaitMs);
    Type(*m_view, "echo after");
    // Interrupted, not finished: the shell answers at once and "slept" never shows.
    QTRY_VERIFY_WITH_TIMEOUT(Lines(*m_view).contains("after"), kWaitMs);
    QVERIFY(!Lines(*m_view).contains("slept"));
}

void TestVtShell::fullScreenProgramKeepsScrollback() {
    // One command after another, as a person types them: what is typed while seq still runs
    // is echoed by the tty into seq's output, and a "40" may then share its line.
    for (int i = 1; i <= 3; ++i) {
        Type(*m_view, "seq 1 40");
        QTRY_VERIFY_WITH_TIMEOUT(Lines(*m_view).count("40") == i && Lines(*m_view).last() == "$", kWaitMs);
    }
    QVERIFY(m_view->screen().scrollback().size() > 0);
    const QStringList before = Lines(*m_view);
    Type(*m_view, "vi -u NONE");
    QTRY_VERIFY_WITH_TIMEOUT(m_view->screen().altScreen(), kWaitMs);
    const std::size_t kept = m_view->screen().scrollback().size();
    QTRY_VERIFY_WITH_TIMEOUT(Lines(*m_view).contains("~"), kWaitMs);
    Type(*m_view, ":q");
    QTRY_VERIFY_WITH_TIMEOUT(!m_view->screen().altScreen(), kWaitMs);
    QCOMPARE(m_view->screen().scrollback().size(), kept);
    const QStringList after = Lines(*m_view);
    QCOMPARE(after.mid(0, before.size() - 1), before.mid(0, before.size() - 1));
}

void TestVtShell::utf8RoundTrips() {
    Type(*m_view, QString::fromUtf8("echo \"<café → 😀>\""));
    QTRY_VERIFY_WITH_TIMEOUT(Lines(*m_view).contains(QString::fromUtf8("<café → 😀>")), kWaitMs);
}

void TestVtShell::cursorPositionIsAnswered() {
    // The shell asks where the cursor is and prints the answer it read back. Echo goes off
    // before the question: the answer can come before `read` has set the tty up, and the
    // tty would then echo it onto the line.
    Type(*m_view, "clear; stty -echo; printf '\\e[5;9H\\e[6n'; read -d R pos; stty echo; echo \"at ${pos#*[}\"");
    const auto answered = [this] {
        const QStringList lines = Lines(*m_view);
        return std::any_of(lines.begin(), lines.end(), [](const QString& l) { return l.trimmed() == "at 5;9"; });
    };
    QTRY_VERIFY2_WITH_TIMEOUT(answered(), qPrintable(Lines(*m_view).join('|')), kWaitMs);
}

QTEST_MAIN(TestVtShell)
#include "tst_vtshell.moc"
