// The send queue over a scripted port and a timer whose time the test moves: order, pacing,
// pauses and breaks on that clock, progress, cancelling, a port that closes, a line holder.
#include "session/sendqueue.h"

#include <QtTest>

#include <optional>

using namespace session;

namespace {

// The port: writes and breaks written down with the time they happened; `held` bytes stay
// unsent until the test lets them go.
struct Port final : SendPort {
    bool open = true;
    int size = 512;
    int held = 0;
    bool holdWrites = false;
    const std::int64_t* now = nullptr;
    QStringList trace;
    std::string wire;

    bool isOpen() const override { return open; }
    int unsent() const override { return held; }
    int bufferSize() const override { return size; }
    bool write(std::string_view bytes) override {
        if (!open) return false;
        wire += bytes;
        if (holdWrites) held += int(bytes.size());
        QString shown = QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
        shown.replace('\r', "\\r").replace('\n', "\\n");
        trace << QStringLiteral("%1:%2").arg(*now).arg(shown);
        return true;
    }
    bool setBreak(bool on) override {
        trace << QStringLiteral("%1:%2").arg(*now).arg(on ? "BRK+" : "BRK-");
        return open;
    }
};

struct ManualTimer final : Timer {
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
    Rig() {
        port.now = &now;
        auto timer = std::make_unique<ManualTimer>();
        timer->at = &at;
        timer->due = &due;
        timer->now = &now;
        queue = std::make_unique<SendQueue>(port, std::move(timer));
        QObject::connect(queue.get(), &SendQueue::finished, [this](JobId id, SendResult r) {
            ended << QStringLiteral("%1%2").arg(id).arg("DCP"[int(r)]);
        });
        QObject::connect(queue.get(), &SendQueue::progress,
                         [this](JobId id, qint64 sent, qint64 total) {
                             progress << QStringLiteral("%1:%2/%3").arg(id).arg(sent).arg(total);
                         });
    }
    // Moves time on to each timer as it comes due, up to `until`.
    void run(std::int64_t until = 1'000'000) {
        while (at && *at <= until) {
            now = *at;
            at.reset();
            auto f = due;
            f();
        }
        now = std::max(now, until == 1'000'000 ? now : until);
    }
    // A job as the tables write it: "b:text" bytes, "p:text" paced bytes, "w:ms" a pause,
    // "k:ms" a break; \r and \n stand for CR and LF.
    JobId add(QString job) {
        const QString arg = job.mid(2).replace("\\r", "\r").replace("\\n", "\n");
        switch (job[0].toLatin1()) {
        case 'w':
            return queue->pause(arg.toInt());
        case 'k':
            return queue->sendBreak(arg.toInt());
        default:
            return queue->send(arg.toStdString(), {.paced = job[0] == 'p'});
        }
    }

    std::int64_t now = 0;
    std::optional<std::int64_t> at;
    std::function<void()> due;
    Port port;
    std::unique_ptr<SendQueue> queue;
    QStringList ended, progress;
};

} // namespace

class TestSendQueue : public QObject {
    Q_OBJECT
private slots:
    void order_data();
    void order();
    void cancelling_data();
    void cancelling();
    void portClosedWithQueueFull();
    void exclusiveHolder();
};

void TestSendQueue::order_data() {
    QTest::addColumn<QStringList>("jobs");
    QTest::addColumn<int>("charMs");
    QTest::addColumn<int>("lineMs");
    QTest::addColumn<int>("portSize");
    QTest::addColumn<QString>("trace");
    QTest::newRow("unpaced, in order") << QStringList{"b:one", "b:two"} << 10 << 50 << 512
                                       << "0:one 0:two";
    QTest::newRow("paced characters and lines")
        << QStringList{"p:ab\\r\\nc"} << 10 << 50 << 512 << "0:a 10:b 20:\\r 30:\\n 80:c";
    QTest::newRow("a CR alone ends a line")
        << QStringList{"p:a\\rb"} << 10 << 50 << 512 << "0:a 10:\\r 60:b";
    QTest::newRow("pacing only for paced jobs")
        << QStringList{"b:xy", "p:ab", "b:z"} << 10 << 50 << 512 << "0:xy 0:a 10:b 20:z";
    QTest::newRow("no delays: paced goes whole") << QStringList{"p:abc", "b:d"} << 0 << 0 << 512
                                                 << "0:abc 0:d";
    QTest::newRow("pause") << QStringList{"b:a", "w:100", "b:b"} << 0 << 0 << 512
                           << "0:a 100:b";
    QTest::newRow("break") << QStringList{"b:a", "k:250", "b:b"} << 0 << 0 << 512
                           << "0:a 0:BRK+ 250:BRK- 250:b";
    QTest::newRow("never more than the port holds")
        << QStringList{"b:abcdefghij"} << 0 << 0 << 4 << "0:abcd 0:efgh 0:ij";
    QTest::newRow("empty and zero finish at once")
        << QStringList{"b:", "w:0", "k:0", "b:x"} << 0 << 0 << 512 << "0:x";
}

void TestSendQueue::order() {
    QFETCH(QStringList, jobs);
    QFETCH(int, charMs);
    QFETCH(int, lineMs);
    QFETCH(int, portSize);
    QFETCH(QString, trace);
    Rig rig;
    rig.port.size = portSize;
    rig.queue->setPacing(charMs, lineMs);
    for (const QString& job : jobs)
        rig.add(job);
    rig.run();
    QCOMPARE(rig.port.trace.join(' '), trace);
    QVERIFY(rig.queue->idle());
    QCOMPARE(rig.ended.size(), jobs.size());
}

// Each row queues 1 MB behind a port that keeps what it is given, then cancels: what was not
// yet handed over is never sent, and the cancel is immediate.
void TestSendQueue::cancelling_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("ended");
    QTest::newRow("the running job") << "first"
                                     << "1C";
    QTest::newRow("a waiting job") << "second"
                                   << "2C";
    QTest::newRow("all") << "all"
                         << "1C 2C";
}

void TestSendQueue::cancelling() {
    QFETCH(QString, how);
    QFETCH(QString, ended);
    Rig rig;
    rig.port.holdWrites = true;
    const std::string mega(1 << 20, 'm');
    const JobId first = rig.queue->send(mega);
    const JobId second = rig.queue->send("tail");
    QCOMPARE(rig.port.wire.size(), std::size_t(512));
    QCOMPARE(rig.progress, QStringList{"1:512/1048576"});
    QCOMPARE(rig.queue->queuedBytes(), qint64(mega.size() - 512 + 4));
    if (how == "first")
        QVERIFY(rig.queue->cancel(first));
    else if (how == "second")
        QVERIFY(rig.queue->cancel(second));
    else
        rig.queue->cancelAll();
    QCOMPARE(rig.ended.join(' '), ended);
    QVERIFY(!rig.queue->cancel(how == "second" ? second : first)); // no longer queued
    rig.port.holdWrites = false;
    rig.port.held = 0;
    rig.queue->outputMoved();
    rig.run();
    const std::string expected = how == "second" ? mega
                                 : how == "first" ? mega.substr(0, 512) + "tail"
                                                  : mega.substr(0, 512);
    QCOMPARE(rig.port.wire.size(), expected.size());
    QVERIFY(rig.port.wire == expected);
}

void TestSendQueue::portClosedWithQueueFull() {
    Rig rig;
    rig.port.holdWrites = true;
    rig.queue->send(std::string(2000, 'a'), {.paced = false});
    rig.queue->sendBreak(100);
    rig.queue->send("after");
    rig.port.open = false;
    rig.queue->portClosed();
    QCOMPARE(rig.ended.join(' '), QStringLiteral("1P 2P 3P"));
    QVERIFY(rig.queue->idle());
    // The port opens again: nothing of the old jobs goes out a second time.
    rig.port.open = true;
    rig.port.held = 0;
    rig.queue->outputMoved();
    rig.run();
    QCOMPARE(rig.port.wire, std::string(512, 'a'));
    // A port that refuses a write has closed: found by the queue itself.
    rig.port.holdWrites = false;
    rig.port.open = false;
    rig.queue->send("x");
    QCOMPARE(rig.ended.last(), QStringLiteral("4P"));
}

void TestSendQueue::exclusiveHolder() {
    Rig rig;
    rig.queue->setPacing(100, 100);
    rig.queue->send("abc", {.paced = true});
    rig.run(150); // a and b are out, c waits for its delay
    const std::uint64_t holder = rig.queue->beginExclusive();
    QVERIFY(holder != 0);
    QCOMPARE(rig.queue->beginExclusive(), std::uint64_t(0));
    rig.queue->send("n");
    QVERIFY(rig.queue->sendExclusive(holder, "XYZ") != 0); // unpaced, ahead of all
    QCOMPARE(rig.queue->sendExclusive(holder + 1, "stale"), JobId(0));
    rig.run(1000);
    QCOMPARE(rig.port.trace.join(' '), QStringLiteral("0:a 100:b 150:XYZ"));
    rig.queue->endExclusive(holder);
    rig.run();
    QCOMPARE(rig.port.trace.join(' '), QStringLiteral("0:a 100:b 150:XYZ 1000:c 1100:n"));
}

QTEST_GUILESS_MAIN(TestSendQueue)
#include "tst_sendqueue.moc"
