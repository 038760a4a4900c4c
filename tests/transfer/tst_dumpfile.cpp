// The dump file: opened through the file dialog, every received byte recorded raw, nothing
// else; the caption names it; a failed open or write leaves the interface telling the truth.
#include "framework/commands.h"
#include "res/resource.h"
#include "tests/support/framefixture.h"
#include "tests/support/testdata.h"
#include "tests/terminal/bytesprinter.h"

#include <QFile>
#include <QtTest>

using namespace std::string_literals;

namespace {

std::string Contents(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return "<unreadable>";
    return file.readAll().toStdString();
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::WriteOnly) &&
           file.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
               static_cast<qint64>(bytes.size());
}

bool Enabled(CMainFrame& frame, unsigned id) {
    fw::ProbeCmdUI ui(id);
    frame.UpdateCommand(ui);
    return ui.enabled;
}

QString DumpCaption(const std::string& path) {
    return QStringLiteral("Wirelog - dumping to \"%1\"").arg(QString::fromStdString(path));
}

// Opens `path` as the dump through the command and its dialog.
void OpenDump(FrameFixture& f, const std::string& path) {
    f.files.choose(path);
    f->SendCommand(ID_FILE_OPEN_DUMP, CMainFrame::Source::Menu);
}

} // namespace

class TestDumpFile : public QObject {
    Q_OBJECT
private slots:
    void dialogAndCaption();
    void cancelledDialogChangesNothing();
    void existingFile_data();
    void existingFile();
    void lockKeepsOtherDumpersOut();
    void rawBytesOnly();
    void receivedOverPty();
    void openInMissingFolder();
    void failingWrite();
};

void TestDumpFile::dialogAndCaption() {
    FrameFixture f;
    QVERIFY(f.created());
    QCOMPARE(f->windowTitle(), QStringLiteral("Wirelog"));
    const std::string path = f.tempPath("first.dmp");
    OpenDump(f, path);
    QCOMPARE(f.files.requests.size(), std::size_t{1});
    const fw::FileDialogRequest& request = f.files.requests.front();
    QCOMPARE(request.defaultExtension, "dmp"s);
    QVERIFY(!request.pathMustExist);
    QCOMPARE(request.filters.size(), std::size_t{2});
    QCOMPARE(request.filters[0].description, "Dump Files (*.dmp) "s);
    QCOMPARE(request.filters[0].pattern, " *.dmp "s);
    QCOMPARE(request.filters[1].description, " All Files (*.*) "s);
    QCOMPARE(request.filters[1].pattern, " *.* "s);

    QCOMPARE(f->m_strDumpFile, path);
    QVERIFY(QFile::exists(QString::fromStdString(path)));
    QCOMPARE(f->windowTitle(), DumpCaption(path));
    QVERIFY(!Enabled(f.frame(), ID_FILE_OPEN_DUMP));
    QVERIFY(Enabled(f.frame(), ID_FILE_CLOSE_DUMP));

    f->SendCommand(ID_FILE_CLOSE_DUMP, CMainFrame::Source::Menu);
    QVERIFY(f.boxes.shown.empty());
    QCOMPARE(f->m_strDumpFile, ""s);
    QVERIFY(!f->m_fileDump.isOpen());
    QCOMPARE(f->windowTitle(), QStringLiteral("Wirelog"));
    QVERIFY(Enabled(f.frame(), ID_FILE_OPEN_DUMP));
    QVERIFY(!Enabled(f.frame(), ID_FILE_CLOSE_DUMP));
}

void TestDumpFile::cancelledDialogChangesNothing() {
    FrameFixture f;
    QVERIFY(f.created());
    f.files.choose(std::nullopt);
    f->SendCommand(ID_FILE_OPEN_DUMP, CMainFrame::Source::Menu);
    QCOMPARE(f.files.requests.size(), std::size_t{1});
    QCOMPARE(f->m_strDumpFile, ""s);
    QVERIFY(!f->m_fileDump.isOpen());
    QCOMPARE(f->windowTitle(), QStringLiteral("Wirelog"));
    QVERIFY(f.boxes.shown.empty());
}

void TestDumpFile::existingFile_data() {
    QTest::addColumn<std::string>("before");
    QTest::addColumn<int>("answer"); // 0: no question expected
    QTest::addColumn<bool>("opened");
    QTest::addColumn<std::string>("after");
    QTest::newRow("Replace empties it") << "old content"s << int(fw::Answer::Replace) << true
                                        << "new"s;
    QTest::newRow("Append keeps it") << "old content"s << int(fw::Answer::Append) << true
                                     << "old contentnew"s;
    QTest::newRow("Cancel leaves it alone") << "old content"s << int(fw::Answer::Cancel) << false
                                            << "old content"s;
    QTest::newRow("an empty file is simply opened") << ""s << 0 << true << "new"s;
}

void TestDumpFile::existingFile() {
    QFETCH(std::string, before);
    QFETCH(int, answer);
    QFETCH(bool, opened);
    QFETCH(std::string, after);
    FrameFixture f;
    QVERIFY(f.created());
    const std::string path = f.tempPath("old.dmp");
    QVERIFY(WriteFile(path, before));
    if (answer) f.boxes.answer(fw::Answer(answer));
    OpenDump(f, path);
    if (answer) {
        QCOMPARE(f.boxes.shown.size(), std::size_t{1});
        const fw::MessageBoxRequest& box = f.boxes.shown.front();
        QCOMPARE(box.text, path + " already exists.");
        QCOMPARE(box.buttons, fw::Buttons::ReplaceAppendCancel);
        QCOMPARE(box.caption, "Wirelog"s);
    } else {
        QVERIFY(f.boxes.shown.empty());
    }
    QCOMPARE(f->m_strDumpFile, opened ? path : ""s);
    QCOMPARE(f->m_fileDump.isOpen(), opened);
    QCOMPARE(f->windowTitle(), opened ? DumpCaption(path) : QStringLiteral("Wirelog"));
    f->ShowReceived("new");
    if (opened) f->SendCommand(ID_FILE_CLOSE_DUMP, CMainFrame::Source::Menu);
    QCOMPARE(Contents(path), after);
    QCOMPARE(f.boxes.shown.size(), std::size_t{answer ? 1 : 0});
}

void TestDumpFile::lockKeepsOtherDumpersOut() {
    // The lock is advisory: it keeps out another Wirelog (or anything else that takes the same
    // lock), which neither records into the file nor empties it; readers that take no lock,
    // such as a viewer following the file, see every piece as soon as it has been received.
    FrameFixture f;
    QVERIFY(f.created());
    const std::string path = f.tempPath("held.dmp");
    OpenDump(f, path);
    QVERIFY(f->m_fileDump.isOpen());
    f->ShowReceived("first");
    QCOMPARE(Contents(path), "first"s);

    CMainFrame second; // another instance picks the same file and answers Replace
    QVERIFY(second.LoadFrame());
    f.boxes.answer(fw::Answer::Replace);
    f.files.choose(path);
    second.SendCommand(ID_FILE_OPEN_DUMP, CMainFrame::Source::Menu);
    QCOMPARE(f.boxes.shown.size(), std::size_t{2});
    QCOMPARE(f.boxes.shown.back().text, "Failed to open file!"s);
    QVERIFY(second.m_strDumpFile.empty());
    QVERIFY(!second.m_fileDump.isOpen());
    QCOMPARE(Contents(path), "first"s);
    second.ShowReceived("not for the file");

    f->ShowReceived(" second");
    QCOMPARE(Contents(path), "first second"s);
    f->SendCommand(ID_FILE_CLOSE_DUMP, CMainFrame::Source::Menu);
    // Once closed, the file is free for the next one.
    f.boxes.answer(fw::Answer::Append);
    f.files.choose(path);
    second.SendCommand(ID_FILE_OPEN_DUMP, CMainFrame::Source::Menu);
    QCOMPARE(second.m_strDumpFile, path);
    second.ShowReceived(" third");
    second.SendCommand(ID_FILE_CLOSE_DUMP, CMainFrame::Source::Menu);
    QCOMPARE(Contents(path), "first second third"s);
}

void TestDumpFile::rawBytesOnly() {
    FrameFixture f;
    QVERIFY(f.created());
    const std::string path = f.tempPath("raw.dmp");
    OpenDump(f, path);
    f->m_wndEdit.m_bEcho = 1;

    f->ShowReceived(AllBytes());  // NULs and all
    f->SetHexView(1);             // the file still gets the bytes, not their rendering
    f->ShowReceived("ab\bc\r\n"); // nor does the backspace pass reach it
    f->SetHexView(0);
    f->m_wndEdit.OnChar('T', 1, 0); // typed with the port closed: screen only
    QVERIFY(f.screen().ends_with("61 62 08 63 0D 0A \r\nT"s));
    f->ShowReceived(""); // an empty piece adds nothing
    f->ShowReceived("\b\bz");

    f->SendCommand(ID_FILE_CLOSE_DUMP, CMainFrame::Source::Menu);
    QVERIFY(f.boxes.shown.empty());
    QCOMPARE(Contents(path), AllBytes() + "ab\bc\r\n"s + "\b\bz"s);
}

void TestDumpFile::receivedOverPty() {
    FrameFixture f;
    QVERIFY(f.created());
    PtyPair& pty = f.linkPort(7);
    const std::string path = f.tempPath("wire.dmp");
    OpenDump(f, path); // opened while the port is closed: nothing yet
    QCOMPARE(Contents(path), ""s);
    f->SendCommand(ID_COMM_PORT_OPEN, CMainFrame::Source::Menu);
    QVERIFY(f->m_wndComm.GetPortOpen());

    const std::string all = AllBytes();
    QVERIFY(pty.writeAll(all));
    QTRY_COMPARE_WITH_TIMEOUT(Contents(path).size(), all.size(), 3000);
    // Typed characters go to the wire, echoed or not, never to the dump.
    f->m_wndEdit.OnChar('t', 1, 0);
    f->m_wndEdit.m_bEcho = 1;
    f->m_wndEdit.OnChar('u', 1, 0);
    QCOMPARE(pty.read(2, 3000), "tu"s);
    QVERIFY(pty.writeAll("\r\nend"));
    QTRY_VERIFY_WITH_TIMEOUT(f.screen().ends_with("end"), 3000);

    f->SendCommand(ID_FILE_CLOSE_DUMP, CMainFrame::Source::Menu);
    QCOMPARE(Contents(path), all + "\r\nend"s);
    QVERIFY(f.boxes.shown.empty());
}

void TestDumpFile::openInMissingFolder() {
    FrameFixture f;
    QVERIFY(f.created());
    OpenDump(f, f.tempPath("no/such/folder/x.dmp"));
    QCOMPARE(f.boxes.shown.size(), std::size_t{1});
    const fw::MessageBoxRequest& box = f.boxes.shown.front();
    QCOMPARE(box.text, "Failed to open file!"s);
    QCOMPARE(box.buttons, fw::Buttons::Ok);
    QCOMPARE(box.icon, fw::Icon::Exclamation);
    QCOMPARE(box.caption, "Wirelog"s);
    QCOMPARE(f->m_strDumpFile, ""s);
    QVERIFY(!f->m_fileDump.isOpen());
    QCOMPARE(f->windowTitle(), QStringLiteral("Wirelog"));
    QVERIFY(Enabled(f.frame(), ID_FILE_OPEN_DUMP));
    QVERIFY(!Enabled(f.frame(), ID_FILE_CLOSE_DUMP));
    f->ShowReceived("still shown");
    QCOMPARE(f.screen(), "still shown"s);
}

void TestDumpFile::failingWrite() {
    FrameFixture f;
    QVERIFY(f.created());
    const std::string path = "/dev/full"; // every write fails: no space left
    OpenDump(f, path);
    QVERIFY(f.boxes.shown.empty());
    QCOMPARE(f->windowTitle(), DumpCaption(path));

    f->ShowReceived("lost?");
    // The piece reaches the screen, the dump is closed at once...
    QCOMPARE(f.screen(), "lost?"s);
    QCOMPARE(f->m_strDumpFile, ""s);
    QVERIFY(!f->m_fileDump.isOpen());
    QCOMPARE(f->windowTitle(), QStringLiteral("Wirelog"));
    QVERIFY(Enabled(f.frame(), ID_FILE_OPEN_DUMP));
    // ...and the failure is told once, naming the file and the cause.
    QTRY_COMPARE_WITH_TIMEOUT(f.boxes.shown.size(), std::size_t{1}, 2000);
    const fw::MessageBoxRequest& box = f.boxes.shown.front();
    QVERIFY2(box.text.find("/dev/full") != std::string::npos, box.text.c_str());
    QVERIFY2(box.text.find("disk is full") != std::string::npos, box.text.c_str());
    QCOMPARE(box.icon, fw::Icon::Stop);

    f->ShowReceived(" next");
    QTest::qWait(50);
    QCOMPARE(f.screen(), "lost? next"s);
    QCOMPARE(f.boxes.shown.size(), std::size_t{1});
}

QTEST_MAIN(TestDumpFile)
#include "tst_dumpfile.moc"
