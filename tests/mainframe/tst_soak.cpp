// Long runs against a real frame: a full-speed flood of random bytes with a dump open, compared
// byte for byte afterwards; and a random walk of commands, keys, dialog answers and serial
// traffic with the frame's invariants checked after every step.
//
// WIRELOG_FLOOD_SECONDS and WIRELOG_WALK_STEPS shorten or lengthen the runs.

#include "res/resource.h"
#include "res/vocabulary.h"
#include "tests/support/framefixture.h"

#include <QDialog>
#include <QMenu>
#include <QRandomGenerator>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <cerrno>
#include <fstream>
#include <thread>

#include <unistd.h>

namespace {

int EnvInt(const char* name, int fallback) {
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok && v > 0 ? v : fallback;
}

// A repeatable stream of random bytes: the writer and the check make the same one.
class ByteStream {
public:
    explicit ByteStream(std::uint64_t seed)
        : m_state(seed) {}
    void fill(char* out, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            m_state ^= m_state << 13;
            m_state ^= m_state >> 7;
            m_state ^= m_state << 17;
            out[i] = static_cast<char>(m_state >> 24);
        }
    }

private:
    std::uint64_t m_state;
};

std::int64_t FileSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return in ? static_cast<std::int64_t>(in.tellg()) : -1;
}

} // namespace

class TestSoak : public QObject {
    Q_OBJECT
private slots:
    void floodWithDumpLosesNothing();
    void randomWalk();
};

void TestSoak::floodWithDumpLosesNothing() {
    const int seconds = EnvInt("WIRELOG_FLOOD_SECONDS", 60);
    FrameFixture f;
    QVERIFY(f.openPort());
    PtyPair& pty = f.pty();
    const std::string dump = f.tempPath("flood.dmp");
    f.files.choose(dump);
    f->SendCommand(ID_FILE_OPEN_DUMP, CMainFrame::Source::Menu);
    QCOMPARE(f->session().dumpPath(), dump);

    // The writer owns the master side while it runs; the frame reads on this thread.
    std::atomic<bool> stop{false};
    std::atomic<std::int64_t> written{0};
    std::thread writer([&] {
        ByteStream stream(20261208);
        char buffer[4096];
        while (!stop) {
            stream.fill(buffer, sizeof buffer);
            std::size_t done = 0;
            while (done < sizeof buffer) {
                const ssize_t n = ::write(pty.master(), buffer + done, sizeof buffer - done);
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) {
                    if (errno == EAGAIN) {
                        if (stop) return; // the frame no longer reads once the run is over
                        std::this_thread::sleep_for(std::chrono::microseconds(200));
                        continue;
                    }
                    return;
                }
                done += static_cast<std::size_t>(n);
                written += n;
            }
        }
    });
    QElapsedTimer clock;
    clock.start();
    // The program stays usable during the flood: a typed key reaches the wire at once and
    // the menus' state rules run.
    qint64 worstKeyMs = 0;
    int ticks = 0;
    while (clock.elapsed() < seconds * 1000) {
        QTest::qWait(50);
        if (++ticks % 10 != 0) continue;
        QElapsedTimer key;
        key.start();
        f->screen().OnChar('k', 1, 0);
        QCOMPARE(pty.read(1, 2000), std::string("k"));
        worstKeyMs = std::max(worstKeyMs, key.elapsed());
        for (QMenu* menu : f->findChildren<QMenu*>())
            f->UpdateMenu(menu);
    }
    stop = true;
    writer.join();
    const std::int64_t total = written;
    QVERIFY(total > 0);
    QTRY_VERIFY_WITH_TIMEOUT(FileSize(dump) == total, 60000);
    f->SendCommand(ID_FILE_CLOSE_DUMP, CMainFrame::Source::Menu);

    // Compare in pieces, against the same stream made again.
    std::ifstream in(dump, std::ios::binary);
    ByteStream expected(20261208);
    std::vector<char> want(1 << 16), got(1 << 16);
    std::int64_t compared = 0;
    while (compared < total) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(1 << 16, total - compared));
        in.read(got.data(), static_cast<std::streamsize>(n));
        QCOMPARE(static_cast<std::size_t>(in.gcount()), n);
        // The writer filled whole 4096-byte buffers, so the stream lines up with them.
        expected.fill(want.data(), n);
        QVERIFY2(std::memcmp(want.data(), got.data(), n) == 0,
                 qPrintable(QStringLiteral("differs near byte %1").arg(compared)));
        compared += static_cast<std::int64_t>(n);
    }
    qInfo("flood: slowest of %d keystrokes to the wire %lld ms", ticks / 10, worstKeyMs);
    QVERIFY(worstKeyMs < 1000);
    qInfo("flood: %lld bytes in %d s (%.1f MB/s) recorded and compared",
          static_cast<long long>(total), seconds, double(total) / seconds / 1e6);
    QVERIFY(f->screen().textLength() <= 16383 + 3 * 4096); // the screen stays bounded
}

void TestSoak::randomWalk() {
    const int steps = EnvInt("WIRELOG_WALK_STEPS", 10000);
    FrameFixture f;
    PtyPair& pty = f.linkPort(7);
    QRandomGenerator rng(20261208);

    const std::string textFile = f.tempPath("walk.txt");
    {
        std::ofstream out(textFile, std::ios::binary);
        out << std::string(1500, 'w');
    }
    const std::string dump = f.tempPath("walk.dmp");

    std::vector<unsigned> commands;
    for (const res::Menu& menu : res::MainMenu())
        for (const res::MenuItem& item : menu.items)
            if (item.id != 0 && item.id != ID_APP_EXIT) commands.push_back(item.id);
    for (unsigned id :
         std::initializer_list<unsigned>{ID_QUERY_CD, ID_QUERY_CTS, ID_QUERY_DSR, ID_COMM_PORT_OPEN,
                                         ID_COMM_PORT_CLOSE, 0u, 40000u})
        commands.push_back(id);
    const CMainFrame::Source sources[] = {CMainFrame::Source::Menu, CMainFrame::Source::Key,
                                          CMainFrame::Source::ToolBar, CMainFrame::Source::Program};

    // Whatever dialog comes up is answered at random; the wire is read all the time.
    QTimer monkey;
    monkey.setInterval(2);
    std::string wire;
    int dialogs = 0;
    QObject::connect(&monkey, &QTimer::timeout, [&] {
        wire += pty.readAvailable();
        if (wire.size() > (1 << 20)) wire.clear();
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            ++dialogs;
            dialog->done(rng.bounded(2) ? QDialog::Accepted : QDialog::Rejected);
        }
    });
    monkey.start();

    for (int step = 0; step < steps; ++step) {
        const int what = rng.bounded(10);
        if (what < 4) {
            // Answers for whatever the command may ask.
            for (int i = 0; i < 3; ++i)
                f.boxes.answer(rng.bounded(2) ? fw::Answer::Ok : fw::Answer::Cancel);
            switch (rng.bounded(4)) {
            case 0:
                f.files.choose(std::nullopt);
                break;
            case 1:
                f.files.choose(dump);
                break;
            case 2:
                f.files.choose(textFile);
                break;
            case 3:
                f.files.choose(std::string("/nonexistent/folder/x"));
                break;
            }
            f->SendCommand(commands[rng.bounded(static_cast<int>(commands.size()))],
                           sources[rng.bounded(4)]);
        } else if (what < 7) {
            f->screen().OnChar(rng.bounded(256), 1, 0);
        } else if (what < 9) {
            std::string bytes(rng.bounded(200), '\0');
            for (char& c : bytes)
                c = static_cast<char>(rng.bounded(256));
            if (f->comm().GetPortOpen()) pty.writeAll(bytes, 1000);
            QTest::qWait(rng.bounded(3));
        } else {
            f.idle();
        }

        // The invariants.
        const CTermEdit& screen = f->screen();
        QVERIFY2(f->isEnabled(), qPrintable(QStringLiteral("step %1").arg(step)));
        QVERIFY(screen.model().selectionStart() <= screen.textLength());
        QVERIFY(screen.model().selectionEnd() <= screen.textLength());
        QVERIFY(screen.textLength() <= 16383 + 4 * 256 * 3);
        QVERIFY(!f->session().dumpPath().empty() == f->session().dumpFile().isOpen());
    }
    monkey.stop();
    qInfo("random walk: %d steps, %d dialogs answered", steps, dialogs);
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
