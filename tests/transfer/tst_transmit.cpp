// Text file transmission: the file's bytes in chunks of OutBufferSize with a wait for the
// empty buffer after each, the frame disabled meanwhile, cancelling from the progress dialog,
// and the frame coming back the same way after every ending.
#include "res/resource.h"
#include "tests/support/fakedevice.h"
#include "tests/support/framefixture.h"
#include "tests/support/bytesprinter.h"
#include "transfer/transmitdlg.h"

#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include <functional>

using namespace std::string_literals;

namespace {

// `n` bytes in which every byte value, CR LF pairs and lone LFs occur.
std::string FileBytes(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 37 + i / 256) & 0xFF);
    for (std::size_t i = 10; i + 1 < n; i += 100) {
        s[i] = '\r';
        s[i + 1] = '\n';
        if (i + 50 < n) s[i + 50] = '\n';
    }
    return s;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::WriteOnly) &&
           file.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
               static_cast<qint64>(bytes.size());
}

CTransmitDlg* ProgressDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<CTransmitDlg*>(w); d && d->isVisible()) return d;
    return nullptr;
}

// Runs `tick` every few milliseconds while the transmission dispatches messages. Should the
// test's own way of ending it not work, the watch ends it after a bound (releasing the line and
// setting m_bCancel) so that the test fails instead of hanging.
class Watch {
public:
    Watch(CMainFrame& frame, FakeDevice& record, std::function<void()> tick)
        : m_tick(std::move(tick)) {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this, &frame, &record] {
            m_elapsed += 5;
            if (m_elapsed > 5000) {
                m_timedOut = true;
                record.holdEachWrite = false;
                record.outputQueue = 0;
                frame.RequestCancel();
                return;
            }
            m_tick();
        });
        m_timer.start();
    }
    bool timedOut() const { return m_timedOut; }

private:
    QTimer m_timer;
    std::function<void()> m_tick;
    int m_elapsed = 0;
    bool m_timedOut = false;
};

struct Rig {
    FrameFixture f;
    std::shared_ptr<FakeDevice> record = std::make_shared<FakeDevice>();

    bool openPort() {
        if (!f.created()) return false;
        f->comm().control()->setDeviceOpener(FakeOpener(record));
        f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::Menu);
        return f->comm().GetPortOpen();
    }
    void transmit(const std::string& path) {
        f.files.choose(path);
        f->SendCommand(ID_FILE_TRANSMIT_TEXT, CMainFrame::Source::Menu);
    }
};

bool FileIsFree(const std::string& path) {
    fw::File probe;
    try {
        probe.open(path, fw::File::Read | fw::File::Exclusive);
    } catch (const fw::FileError&) {
        return false;
    }
    return true;
}

} // namespace

class TestTransmit : public QObject {
    Q_OBJECT
private slots:
    void overPtyExactBytes();
    void chunks_data();
    void chunks();
    void cancel_data();
    void cancel();
    void unopenable_data();
    void unopenable();
    void portClosedByErrorBox_data();
    void portClosedByErrorBox();
    void pacedShowsProgress_data();
    void pacedShowsProgress();

private:
    // What holds after every transmission that got under way.
    static void VerifyFrameBack(FrameFixture& f);
};

void TestTransmit::VerifyFrameBack(FrameFixture& f) {
    QVERIFY(f->isEnabled());
    QCOMPARE(f->CancelRequested(), 1);
    QVERIFY(!ProgressDialog());
    QCOMPARE(f->focusWidget(), &f->screen());
    FrameFixture::flushDeletes();
    QVERIFY(f->findChildren<CTransmitDlg*>().isEmpty());
}

void TestTransmit::overPtyExactBytes() {
    FrameFixture f;
    QVERIFY(f.openPort());
    PtyPair& pty = f.pty();
    QCOMPARE(f->comm().GetOutBufferSize(), short{512});
    const std::string path = f.tempPath("send.txt");
    const std::string bytes = FileBytes(1300);
    QVERIFY(WriteFile(path, bytes));

    f.files.choose(path);
    f->SendCommand(ID_FILE_TRANSMIT_TEXT, CMainFrame::Source::Menu);
    QVERIFY(f.boxes.shown.empty());
    const fw::FileDialogRequest& request = f.files.requests.back();
    QCOMPARE(request.defaultExtension, "txt"s);
    QVERIFY(request.pathMustExist);
    QCOMPARE(request.filters.size(), std::size_t{2});
    QCOMPARE(request.filters[0].description, "Text Files (*.txt) "s);
    QCOMPARE(request.filters[0].pattern, " *.txt "s);

    QCOMPARE(pty.read(bytes.size(), 5000), bytes);
    QCOMPARE(pty.read(1, 200), ""s); // nothing beyond the file
    VerifyFrameBack(f);
    QVERIFY(FileIsFree(path));
}

void TestTransmit::chunks_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("1300") << 1300 << QList<int>{512, 512, 276};
    QTest::newRow("1024, no tail") << 1024 << QList<int>{512, 512};
    QTest::newRow("513") << 513 << QList<int>{512, 1};
    QTest::newRow("smaller than a chunk") << 100 << QList<int>{100};
    QTest::newRow("empty") << 0 << QList<int>{};
}

void TestTransmit::chunks() {
    QFETCH(int, size);
    QFETCH(QList<int>, expected);
    Rig rig;
    QVERIFY(rig.openPort());
    FrameFixture& f = rig.f;
    const std::string path = f.tempPath("chunks.txt");
    const std::string bytes = FileBytes(static_cast<std::size_t>(size));
    QVERIFY(WriteFile(path, bytes));

    rig.record->holdEachWrite = true;
    QList<int> writesAtRelease;
    bool disabledMeanwhile = true, dialogMeanwhile = true;
    Watch watch(f.frame(), *rig.record, [&] {
        if (rig.record->outputQueue == 0) return;
        writesAtRelease << static_cast<int>(rig.record->writes.size());
        disabledMeanwhile &= !f->isEnabled();
        dialogMeanwhile &= ProgressDialog() != nullptr;
        rig.record->outputQueue = 0;
    });
    rig.transmit(path);
    QVERIFY(!watch.timedOut());
    QVERIFY(f.boxes.shown.empty());

    QList<int> sizes;
    for (const auto& w : rig.record->writes)
        sizes << static_cast<int>(w.size());
    QCOMPARE(sizes, expected);
    // The next chunk only after the buffer had emptied.
    QList<int> oneByOne;
    for (int i = 1; i <= expected.size(); ++i)
        oneByOne << i;
    QCOMPARE(writesAtRelease, oneByOne);
    QCOMPARE(rig.record->wire(), bytes);
    QVERIFY(disabledMeanwhile);
    QVERIFY(dialogMeanwhile);
    VerifyFrameBack(f);
    QVERIFY(FileIsFree(path));
}

void TestTransmit::cancel_data() {
    QTest::addColumn<QString>("way");
    QTest::newRow("Cancel button") << "button";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("close box") << "close";
}

void TestTransmit::cancel() {
    QFETCH(QString, way);
    Rig rig;
    QVERIFY(rig.openPort());
    FrameFixture& f = rig.f;
    const std::string path = f.tempPath("cancel.txt");
    const std::string bytes = FileBytes(1300);
    QVERIFY(WriteFile(path, bytes));

    // The line never empties: only the user ends the wait.
    rig.record->holdEachWrite = true;
    bool pressed = false;
    Watch watch(f.frame(), *rig.record, [&] {
        CTransmitDlg* dialog = ProgressDialog();
        if (pressed || !dialog || rig.record->outputQueue == 0) return;
        pressed = true;
        if (way == "button") {
            auto* button = dialog->findChild<QPushButton*>();
            QVERIFY(button);
            QCOMPARE(button->text(), QStringLiteral("Cancel"));
            QTest::mouseClick(button, Qt::LeftButton);
        } else if (way == "escape") {
            QTest::keyClick(dialog, Qt::Key_Escape);
        } else {
            dialog->close();
        }
    });
    rig.transmit(path);
    QVERIFY(pressed);
    QVERIFY(!watch.timedOut());
    // The chunk handed over stays handed over; nothing after it.
    QCOMPARE(rig.record->writes.size(), std::size_t{1});
    QCOMPARE(rig.record->wire(), bytes.substr(0, 512));
    VerifyFrameBack(f);
    QVERIFY(FileIsFree(path));
    rig.record->outputQueue = 0;
}

void TestTransmit::unopenable_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("missing") << "missing.txt"
                             << "Failed to open file!\n%1 was not found.";
    QTest::newRow("folder") << ""
                            << "Failed to open file!\n%1 is a folder, not a file.";
}

void TestTransmit::unopenable() {
    QFETCH(QString, name);
    QFETCH(QString, text);
    Rig rig;
    QVERIFY(rig.openPort());
    FrameFixture& f = rig.f;
    std::string path = f.tempPath(name.toStdString());
    if (name.isEmpty()) path = QDir::cleanPath(QString::fromStdString(path)).toStdString();
    rig.transmit(path);
    QCOMPARE(f.boxes.shown.size(), std::size_t{1});
    QCOMPARE(QString::fromStdString(f.boxes.shown.front().text),
             text.arg(QString::fromStdString(path)));
    QCOMPARE(f.boxes.shown.front().icon, fw::Icon::Stop);
    // Nothing was under way: no dialog, the frame never disabled, m_bCancel untouched.
    QVERIFY(f->isEnabled());
    QCOMPARE(f->CancelRequested(), 0);
    QVERIFY(f->findChildren<CTransmitDlg*>().isEmpty());
    QVERIFY(rig.record->writes.empty());
}

void TestTransmit::portClosedByErrorBox_data() {
    QTest::addColumn<int>("drained"); // chunks that got out before the line error
    QTest::addColumn<QString>("status");
    QTest::newRow("first chunk still held")
        << 0 << "The port was closed: 0 of 1300 bytes of the file went out.";
    QTest::newRow("second chunk still held")
        << 1 << "The port was closed: 512 of 1300 bytes of the file went out.";
}

void TestTransmit::portClosedByErrorBox() {
    QFETCH(int, drained);
    QFETCH(QString, status);
    Rig rig;
    QVERIFY(rig.openPort());
    FrameFixture& f = rig.f;
    const std::string path = f.tempPath("closed.txt");
    const std::string bytes = FileBytes(1300);
    QVERIFY(WriteFile(path, bytes));

    // A framing error arrives while a chunk waits in the driver; the user closes the port.
    rig.record->holdEachWrite = true;
    f.boxes.answer(fw::Answer::Cancel);
    bool sent = false;
    int released = 0;
    Watch watch(f.frame(), *rig.record, [&] {
        if (sent || rig.record->outputQueue == 0) return;
        if (released < drained) {
            ++released;
            rig.record->outputQueue = 0;
            return;
        }
        sent = true;
        rig.record->send("\xFF\x00"
                         "x"s);
    });
    rig.transmit(path);
    QVERIFY(sent);
    QVERIFY(!watch.timedOut());
    QVERIFY(!f->comm().GetPortOpen());
    QCOMPARE(rig.record->wire(), bytes.substr(0, 512 * std::size_t(drained + 1)));
    // The line error's box is the only message: the transmission ends as if cancelled and
    // tells in the status bar how far it got.
    QCOMPARE(f.boxes.shown.size(), std::size_t{1});
    QCOMPARE(f.boxes.shown.front().text, "Framing Error\nOK to ignore, Cancel to quit"s);
    QCOMPARE(QString::fromStdString(f->statusPanes().GetPaneText(0)), status);
    VerifyFrameBack(f);
    QVERIFY(FileIsFree(path));
}

void TestTransmit::pacedShowsProgress_data() {
    QTest::addColumn<int>("charMs");
    QTest::newRow("unpaced") << 0;
    QTest::newRow("paced") << 1;
}

void TestTransmit::pacedShowsProgress() {
    QFETCH(int, charMs);
    Rig rig;
    QVERIFY(rig.openPort());
    FrameFixture& f = rig.f;
    f->SetPacing({charMs, 0});
    const std::string path = f.tempPath("paced.txt");
    const std::string bytes = FileBytes(700);
    QVERIFY(WriteFile(path, bytes));
    // The first chunk waits on the line: the dialog is looked at then, and the line let go.
    rig.record->holdEachWrite = true;
    bool seen = false, shown = false;
    QString figures;
    Watch watch(f.frame(), *rig.record, [&] {
        CTransmitDlg* dialog = ProgressDialog();
        if (seen || !dialog || rig.record->outputQueue == 0) return;
        seen = true;
        shown = dialog->progressBar() && dialog->progressBar()->isVisible();
        if (dialog->figuresLabel()) figures = dialog->figuresLabel()->text();
        rig.record->holdEachWrite = false;
        rig.record->outputQueue = 0;
    });
    rig.transmit(path);
    QVERIFY(seen);
    QVERIFY(!watch.timedOut());
    QCOMPARE(shown, charMs > 0);
    if (charMs > 0) QVERIFY2(figures.contains(" of 700 bytes"), qPrintable(figures));
    QCOMPARE(rig.record->wire(), bytes);
    VerifyFrameBack(f);
}

QTEST_MAIN(TestTransmit)
#include "tst_transmit.moc"
