// Runs of send jobs (a macro, a line, a paste) over a real send queue, a scripted port and a
// timer whose time the test moves: what reaches the line and when, the progress of the runs
// under way counted together, and how a run ends when cancelled or when the port closes.
#include "mainframe/sendruns.h"

#include <QtTest>

#include <optional>

using session::SendResult;
using transfer::SendItem;
using Kind = transfer::SendItem::Kind;

namespace {

struct Port final : session::SendPort {
    bool open = true;
    const std::int64_t* now = nullptr;
    QStringList trace; // "time:bytes" and "time:BRK+/-"
    bool isOpen() const override { return open; }
    int unsent() const override { return 0; }
    int bufferSize() const override { return 512; }
    bool write(std::string_view bytes) override {
        if (!open) return false;
        trace << QStringLiteral("%1:%2").arg(*now).arg(
            QString::fromLatin1(bytes.data(), qsizetype(bytes.size())).replace('\r', "\\r"));
        return true;
    }
    bool setBreak(bool on) override {
        trace << QStringLiteral("%1:%2").arg(*now).arg(on ? "BRK+" : "BRK-");
        return open;
    }
};

struct ManualTimer final : session::Timer {
    std::optional<std::int64_t>* at;
    std::function<void()>* due;
    const std::int64_t* now;
    void start(int ms, std::function<void()> f) override {
        *at = *now + ms;
        *due = std::move(f);
    }
    void stop() override { at->reset(); }
};

struct Rig {
    std::int64_t now = 0;
    std::optional<std::int64_t> at;
    std::function<void()> due;
    Port port;
    std::unique_ptr<session::SendQueue> queue;
    std::unique_ptr<CSendRuns> runs;
    QStringList ended;    // "result sent/total" per run
    QStringList progress; // "sent/total" of all runs, as reported
    Rig() {
        port.now = &now;
        auto timer = std::make_unique<ManualTimer>();
        timer->at = &at;
        timer->due = &due;
        timer->now = &now;
        queue = std::make_unique<session::SendQueue>(port, std::move(timer));
        runs = std::make_unique<CSendRuns>(*queue);
        QObject::connect(
            runs.get(), &CSendRuns::runEnded, [this](SendResult r, qint64 sent, qint64 total) {
                ended << QStringLiteral("%1 %2/%3").arg("DCP"[int(r)]).arg(sent).arg(total);
            });
        QObject::connect(runs.get(), &CSendRuns::progress, [this](qint64 sent, qint64 total) {
            progress << QStringLiteral("%1/%2").arg(sent).arg(total);
        });
    }
    // Moves time on to each timer as it comes due, up to `until`.
    void run(std::int64_t until) {
        while (at && *at <= until) {
            now = *at;
            at.reset();
            auto f = due;
            f();
        }
        now = std::max(now, until);
    }
};

SendItem Bytes(const char* b) {
    return {Kind::Bytes, b, 0};
}
SendItem Pause(int ms) {
    return {Kind::Pause, {}, ms};
}
SendItem Break(int ms) {
    return {Kind::Break, {}, ms};
}

} // namespace

class TestSendRuns : public QObject {
    Q_OBJECT
private slots:
    void macroOnTheClock();
    void cancelInAPause();
    void portClosesUnderARun();
    void runsCountedTogether();
};

void TestSendRuns::macroOnTheClock() {
    Rig r;
    QVERIFY(r.runs->start({Bytes("AT\r"), Pause(500), Break(250), Bytes("ATZ\r")}, {}));
    QVERIFY(r.runs->busy());
    QCOMPARE(r.port.trace, QStringList{"0:AT\\r"});
    r.run(499);
    QCOMPARE(r.port.trace.size(), 1);
    r.run(10000);
    QCOMPARE(r.port.trace, (QStringList{"0:AT\\r", "500:BRK+", "750:BRK-", "750:ATZ\\r"}));
    QCOMPARE(r.ended, QStringList{"D 7/7"});
    QVERIFY(!r.runs->busy());
    QCOMPARE(r.progress.last(), "0/0");
}

void TestSendRuns::cancelInAPause() {
    Rig r;
    r.runs->start({Bytes("one"), Pause(600000), Bytes("two")}, {});
    r.run(1000);
    r.runs->cancelAll();
    r.run(700000);
    QCOMPARE(r.port.trace, QStringList{"0:one"});
    QCOMPARE(r.ended, QStringList{"C 3/6"});
    QVERIFY(!r.runs->busy());
}

void TestSendRuns::portClosesUnderARun() {
    Rig r;
    r.runs->start({Bytes("a"), Pause(100), Bytes("b")}, {});
    r.port.open = false;
    r.queue->portClosed();
    r.run(1000);
    QCOMPARE(r.port.trace, QStringList{"0:a"});
    QCOMPARE(r.ended, QStringList{"P 1/2"});
    // A run started on a closed port ends at once, as closed.
    QVERIFY(!r.runs->start({Bytes("c")}, {}));
    QCOMPARE(r.ended.last(), "P 0/1");
}

void TestSendRuns::runsCountedTogether() {
    Rig r;
    r.runs->start({Pause(100), Bytes("12345")}, {});
    r.runs->start({Bytes("abc")}, {});
    QCOMPARE(r.runs->total(), std::int64_t(8));
    QCOMPARE(r.runs->sent(), std::int64_t(0));
    r.run(100);
    QCOMPARE(r.port.trace, (QStringList{"100:12345", "100:abc"}));
    QCOMPARE(r.ended, (QStringList{"D 5/5", "D 3/3"}));
    QVERIFY(r.progress.contains("5/8"));
}

QTEST_GUILESS_MAIN(TestSendRuns)
#include "tst_sendruns.moc"
