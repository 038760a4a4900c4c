// The session's receive road on a real screen and control: the dump gets every byte, the text
// log and the views what is not taken, a line taker exactly what comes while it holds the line;
// the message pane's notes.
#include "comm/ccommctrl.h"
#include "framework/clock.h"
#include "framework/codepage.h"
#include "session/session.h"
#include "terminal/termedit.h"
#include "tests/support/ptypair.h"

#include <QTemporaryDir>
#include <QtTest>

#include <fstream>
#include <random>
#include <sstream>

using namespace session;

namespace {

std::string Unescape(QString s) {
    return s.replace("\\r", "\r").replace("\\n", "\n").toStdString();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

struct Taker final : LineTaker {
    std::string got;
    int lost = 0;
    std::function<void()> after; // runs after each chunk
    void received(std::string_view bytes) override {
        got += bytes;
        if (after) after();
    }
    void lineLost() override { ++lost; }
};

struct Rig {
    Rig() {
        comm.Create(&owner, 1);
        session.attach();
        session.setTerminalSink([this](std::string_view c) { terminal += c; });
    }
    std::string path(const char* name) const { return dir.filePath(name).toStdString(); }

    QTemporaryDir dir;
    QObject owner;
    CCommCtrl comm;
    CTermEdit screen;
    Session session{comm, screen, &owner};
    std::string terminal;
};

} // namespace

class TestSession : public QObject {
    Q_OBJECT
private slots:
    void receiveRoad_data();
    void receiveRoad();
    void floodWhileTheLineChangesHands();
    void statusPane_data();
    void statusPane();
    void lfOnlyHint();
};

// Chunks as the control hands them over; "take" and "release" between them switch the line.
void TestSession::receiveRoad_data() {
    QTest::addColumn<int>("breaks");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QString>("taken");
    const int cr = int(terminal::LineBreaks::CR), autoBreaks = int(terminal::LineBreaks::Auto);
    QTest::newRow("CR LF split between reads")
        << autoBreaks << QStringList{"a\\r", "\\nb"} << "a\\r\\nb"
        << "";
    QTest::newRow("taken in the middle")
        << cr << QStringList{"one\\r\\n", "take", "two", "three", "release", "four"}
        << "one\\r\\nfour"
        << "twothree";
    QTest::newRow("a CR before the taker pairs with nothing after it")
        << autoBreaks << QStringList{"a\\r", "take", "x", "release", "\\nb"} << "a\\r\\n\\r\\nb"
        << "x";
    QTest::newRow("taken to the end") << cr << QStringList{"take", "all\\r\\n", "of it"} << ""
                                      << "all\\r\\nof it";
}

void TestSession::receiveRoad() {
    QFETCH(int, breaks);
    QFETCH(QStringList, steps);
    QFETCH(QString, screen);
    QFETCH(QString, taken);
    Rig rig;
    Taker taker;
    rig.session.setLineBreaks(terminal::LineBreaks(breaks));
    QVERIFY(rig.session.openDump(rig.path("road.dmp"), false));
    std::string all, shown;
    for (const QString& step : steps) {
        if (step == "take") {
            QVERIFY(rig.session.takeLine(&taker));
            QVERIFY(!rig.session.takeLine(nullptr));
        } else if (step == "release") {
            rig.session.releaseLine();
        } else {
            const std::string chunk = Unescape(step);
            all += chunk;
            if (!rig.session.lineTaker()) shown += chunk;
            rig.session.received(chunk);
        }
    }
    rig.session.closeDump();
    QVERIFY(ReadFile(rig.path("road.dmp")) == all);
    QCOMPARE(rig.screen.text(), Unescape(screen));
    QCOMPARE(taker.got, Unescape(taken));
    QVERIFY(rig.terminal == shown);
}

// Lines ended by LF alone while breaks are CR: the pane says so once per opening of the port,
// and never while the terminal view shows what comes.
void TestSession::lfOnlyHint() {
    Rig rig;
    rig.session.setTerminalSink({});
    QStringList said;
    rig.session.setStatusSink([&](const std::string& text) {
        if (text.find("ends its lines with LF") != std::string::npos) said << fw::FromAnsi(text);
    });
    rig.session.setLineBreaks(terminal::LineBreaks::CR);
    rig.session.received("one\r\ntwo\r\n");
    QCOMPARE(said.size(), 0);
    rig.session.received("three\nfour\n");
    QCOMPARE(said.size(), 1);
    QVERIFY(said[0].startsWith(u"This device ends its lines with LF: Settings \u203a Line Breaks"));
    rig.session.received("five\n");
    QCOMPARE(said.size(), 1);
    // The next opening may say it again; with the terminal view shown it does not.
    rig.session.portClosed();
    rig.session.setTerminalSink([](std::string_view) {});
    rig.session.received("six\n");
    QCOMPARE(said.size(), 1);
    rig.session.setTerminalSink({});
    rig.session.received("seven\n");
    QCOMPARE(said.size(), 2);
}

// A megabyte over a pseudo-terminal while a taker takes the line after a third and gives it
// back after two thirds: the dump holds every byte once, and the taker and the views (the
// terminal sink sees raw chunks) each hold one unbroken stretch of it.
void TestSession::floodWhileTheLineChangesHands() {
    PtyPair pty;
    if (!pty.isOpen()) QSKIP(pty.error().c_str());
    PortLink ports;
    QVERIFY(ports.link(4, pty.slavePath()));
    Rig rig;
    Taker taker;
    constexpr std::size_t kSize = 1 << 20, kThird = kSize / 3;
    std::string data(kSize, '\0');
    std::mt19937 rng(9);
    for (char& c : data)
        c = static_cast<char>(rng());
    std::size_t takenAt = 0;
    rig.session.setTerminalSink([&](std::string_view c) {
        rig.terminal += c;
        if (rig.terminal.size() >= kThird && takenAt == 0) {
            takenAt = rig.terminal.size();
            QVERIFY(rig.session.takeLine(&taker));
        }
    });
    taker.after = [&] {
        if (taker.got.size() >= kThird) rig.session.releaseLine();
    };
    QVERIFY(rig.session.openDump(rig.path("flood.dmp"), false));
    rig.comm.SetCommPort(4);
    rig.comm.SetRThreshold(1);
    rig.comm.SetPortOpen(true);
    QVERIFY(pty.writeAll(data, 30000));
    QTRY_COMPARE_WITH_TIMEOUT(rig.terminal.size() + taker.got.size(), kSize, 30000);
    rig.session.closeDump();
    QVERIFY(ReadFile(rig.path("flood.dmp")) == data);
    QVERIFY(taker.got.size() >= kThird && rig.terminal.size() >= kThird);
    QVERIFY(taker.got == data.substr(takenAt, taker.got.size()));
    QVERIFY(rig.terminal == data.substr(0, takenAt) + data.substr(takenAt + taker.got.size()));
    // The port closes: the taker hears it, once.
    QVERIFY(rig.session.takeLine(&taker));
    rig.comm.SetPortOpen(false);
    rig.session.portClosed();
    QCOMPARE(taker.lost, 1);
    QVERIFY(!rig.session.lineTaker());
}

// Steps "op:text@ms": e an event's text, n a note, h a held note, r its release (no text),
// and "?@ms" reads the pane, expected after "=".
void TestSession::statusPane_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("events replace each other")
        << QStringList{"?@0=", "e:Receiving@0", "?@1=Receiving", "e:Sending@2", "?@3=Sending"};
    QTest::newRow("a note holds the pane for five seconds")
        << QStringList{"e:Receiving@0", "n:Saved@100", "e:Receiving@200", "?@5099=Saved",
                       "?@5100=Receiving"};
    QTest::newRow("a later note starts its own time")
        << QStringList{"n:One@0", "n:Two@4000", "?@5000=Two", "?@9000=", "e:Receiving@9001",
                       "?@9002=Receiving"};
    QTest::newRow("held while a transfer runs")
        << QStringList{"e:Receiving@0", "h:12 of 40 KB@0", "?@60000=12 of 40 KB",
                       "n:Hint@60000", "?@60001=Hint", "?@65000=12 of 40 KB", "r:@65000",
                       "?@65001=Receiving"};
}

void TestSession::statusPane() {
    QFETCH(QStringList, steps);
    StatusPane pane;
    for (const QString& step : steps) {
        const QString op = step.section('@', 0, 0), at = step.section('@', 1);
        const std::int64_t ms = at.section('=', 0, 0).toLongLong();
        const std::string text = op.mid(2).toStdString();
        switch (op[0].toLatin1()) {
        case 'e':
            pane.event(text);
            break;
        case 'n':
            pane.note(text, ms);
            break;
        case 'h':
            pane.hold(text);
            break;
        case 'r':
            pane.release();
            break;
        default:
            QCOMPARE(QString::fromStdString(pane.shown(ms)), at.section('=', 1));
        }
    }
}

QTEST_MAIN(TestSession)
#include "tst_session.moc"
