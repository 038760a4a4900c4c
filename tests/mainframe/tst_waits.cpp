// The long operations' waits sleep while output trickles out, yet never past progress: the
// close drain still asks after its deadline, and a transmission keeps pace with its reader.
#include "framework/clock.h"
#include "res/resource.h"
#include "tests/support/framefixture.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QtTest>

#include <sys/resource.h>

namespace {

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

} // namespace

class TestWaits : public QObject {
    Q_OBJECT
private slots:
    void stuckDrainSleepsUntilItsDeadline();
    void transmissionKeepsPaceWithItsReader();
};

void TestWaits::stuckDrainSleepsUntilItsDeadline() {
    FrameFixture f;
    QVERIFY(f.openPort());
    PtyPair& pty = f.pty();
    // Nobody reads the far end: the kernel fills up and the control keeps the rest.
    f->comm().SetOutput(std::string(64 * 1024, 'x'));
    QVERIFY(f->comm().GetOutBufferCount() > 0);
    (void)pty;

    // The clock stands still for one real second, then jumps past the deadline. Each reading
    // is one pass of the drain.
    QElapsedTimer real;
    real.start();
    int passes = 0;
    fw::SetClockSource([&] {
        ++passes;
        return std::int64_t(1000) + (real.elapsed() >= 1000 ? 11 : 0);
    });
    f.boxes.answer(fw::Answer::Ok);    // "Transmit Buffer Full", raised inside the drain
    f.boxes.answer(fw::Answer::Abort); // "Data could not be sent!"
    const double cpu0 = CpuSeconds();
    f->OnClose();
    const double wall = real.elapsed() / 1000.0;
    const double cpu = CpuSeconds() - cpu0;

    QVERIFY(!f.boxes.shown.empty());
    QCOMPARE(f.boxes.shown.back().buttons, fw::Buttons::AbortRetryIgnore);
    // Not before the deadline; late only by what a loaded machine adds to a short sleep.
    QVERIFY2(wall >= 1.0 && wall < 10.0, qPrintable(QString("asked after %1 s").arg(wall)));
    // A spinning wait makes thousands of passes a second and burns the whole second; one that
    // sleeps between passes (at most 50 ms) makes a few dozen, however loaded the machine.
    QVERIFY2(passes < 200 * wall, qPrintable(QString("%1 passes in %2 s").arg(passes).arg(wall)));
    QVERIFY2(cpu < 0.3 * wall, qPrintable(QString("%1 CPU-s in %2 s").arg(cpu).arg(wall)));
    QVERIFY(f->comm().GetPortOpen()); // Abort: everything stays as it was
    QVERIFY(!f->IsClosed());
}

void TestWaits::transmissionKeepsPaceWithItsReader() {
    FrameFixture f;
    QVERIFY(f.openPort());
    PtyPair& pty = f.pty();

    constexpr std::size_t kSize = 256 * 1024; // 512 chunks
    std::string text(kSize, '\0');
    for (std::size_t i = 0; i < kSize; ++i)
        text[i] = static_cast<char>('a' + i % 26);
    const std::string path = f.tempPath("send.txt");
    {
        QFile file(QString::fromStdString(path));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(text.data(), static_cast<qint64>(text.size())), qint64(kSize));
    }
    f.files.choose(path);

    // The far end takes whatever comes, from inside the transmission's waits.
    std::string received;
    QSocketNotifier reader(pty.master(), QSocketNotifier::Read);
    connect(&reader, &QSocketNotifier::activated, [&] { received += pty.readAvailable(); });

    QElapsedTimer real;
    real.start();
    f->SendCommand(ID_FILE_TRANSMIT_TEXT, CMainFrame::Source::Menu);
    const qint64 ms = real.elapsed();
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), kSize, 5000);
    QVERIFY(received == text);
    // A wait that slept its full bound after each chunk would take more than 25 s; a wait woken
    // by the output's progress takes a fraction of a second, a few on a loaded machine.
    QVERIFY2(ms < 15000, qPrintable(QString("%1 ms for %2 chunks").arg(ms).arg(kSize / 512)));
    QVERIFY(f->CancelRequested());
}

QTEST_MAIN(TestWaits)
#include "tst_waits.moc"
