// The dump file: opened through the file dialog, every received byte recorded raw, nothing
// else; the caption names it; a failed open or write leaves the interface telling the truth.
// The text log beside it: its lines on their own, then the log file on the receive road.
#include "framework/clock.h"
#include "framework/commands.h"
#include "res/resource.h"
#include "transfer/textlog.h"
#include "tests/support/framefixture.h"
#include "tests/support/testdata.h"
#include "tests/support/bytesprinter.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <ctime>

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

void OpenLog(FrameFixture& f, const std::string& path) {
    f.files.choose(path);
    f->SendCommand(ID_FILE_OPEN_LOG, CMainFrame::Source::Menu);
}

// Log lines of the first minute of 1970 (UTC), given from the seconds on.
std::string LogLines(const QStringList& lines) {
    std::string out;
    for (const QString& line : lines)
        out += "1970-01-01 00:00:" + line.toStdString() + "\n";
    return out;
}

} // namespace

class TestDumpFile : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void dialogAndCaption();
    void cancelledDialogChangesNothing();
    void existingFile_data();
    void existingFile();
    void lockKeepsOtherDumpersOut();
    void rawBytesOnly();
    void receivedOverPty();
    void openInMissingFolder();
    void failingWrite();
    void logLines_data();
    void logLines();
    void logBesideTheDump();
    void logRefused_data();
    void logRefused();
    void logFailingWrite();
};

void TestDumpFile::initTestCase() {
    // Log stamps show local time: make it the same on every machine.
    qputenv("TZ", "UTC");
    tzset();
}

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

    QCOMPARE(f->session().dumpPath(), path);
    QVERIFY(QFile::exists(QString::fromStdString(path)));
    QCOMPARE(f->windowTitle(), DumpCaption(path));
    QVERIFY(!Enabled(f.frame(), ID_FILE_OPEN_DUMP));
    QVERIFY(Enabled(f.frame(), ID_FILE_CLOSE_DUMP));

    f->SendCommand(ID_FILE_CLOSE_DUMP, CMainFrame::Source::Menu);
    QVERIFY(f.boxes.shown.empty());
    QCOMPARE(f->session().dumpPath(), ""s);
    QVERIFY(!f->session().dumpFile().isOpen());
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
    QCOMPARE(f->session().dumpPath(), ""s);
    QVERIFY(!f->session().dumpFile().isOpen());
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

namespace {

// Opens a file holding `before` as the dump or the log, answering `answer` to the question.
void ExistingFileOpened(const std::string& before, int answer, bool opened,
                        const std::string& after, bool log) {
    FrameFixture f;
    QVERIFY(f.created());
    const std::string path = f.tempPath(log ? "old.log" : "old.dmp");
    QVERIFY(WriteFile(path, before));
    if (answer) f.boxes.answer(fw::Answer(answer));
    if (log) {
        // "new" stands for what the log makes of the received line.
        OpenLog(f, path);
        QCOMPARE(f->session().logPath(), opened ? path : ""s);
        f->ShowReceived("new\r\n");
        if (opened) f->SendCommand(ID_FILE_CLOSE_LOG, CMainFrame::Source::Menu);
        QCOMPARE(Contents(path), QString::fromStdString(after)
                                     .replace("new", "1970-01-01 00:00:01.000  new\n")
                                     .toStdString());
        QCOMPARE(f.boxes.shown.size(), std::size_t(answer ? 1 : 0));
        if (answer) QCOMPARE(f.boxes.shown.front().text, path + " already exists.");
        return;
    }
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
    QCOMPARE(f->session().dumpPath(), opened ? path : ""s);
    QCOMPARE(f->session().dumpFile().isOpen(), opened);
    QCOMPARE(f->windowTitle(), opened ? DumpCaption(path) : QStringLiteral("Wirelog"));
    f->ShowReceived("new");
    if (opened) f->SendCommand(ID_FILE_CLOSE_DUMP, CMainFrame::Source::Menu);
    QCOMPARE(Contents(path), after);
    QCOMPARE(f.boxes.shown.size(), std::size_t(answer ? 1 : 0));
}

} // namespace

// The same question, and the same answers, for the dump and for the text log.
void TestDumpFile::existingFile() {
    QFETCH(std::string, before);
    QFETCH(int, answer);
    QFETCH(bool, opened);
    QFETCH(std::string, after);
    for (const bool log : {false, true}) {
        fw::SetMsClockSource([] { return std::int64_t{1000}; });
        ExistingFileOpened(before, answer, opened, after, log);
        fw::SetMsClockSource({});
        if (QTest::currentTestFailed()) return;
    }
}

void TestDumpFile::lockKeepsOtherDumpersOut() {
    // The lock is advisory: it keeps out another Wirelog (or anything else that takes the same
    // lock), which neither records into the file nor empties it; readers that take no lock,
    // such as a viewer following the file, see every piece as soon as it has been received.
    FrameFixture f;
    QVERIFY(f.created());
    const std::string path = f.tempPath("held.dmp");
    OpenDump(f, path);
    QVERIFY(f->session().dumpFile().isOpen());
    f->ShowReceived("first");
    QCOMPARE(Contents(path), "first"s);

    CMainFrame second; // another instance picks the same file and answers Replace
    QVERIFY(second.LoadFrame());
    f.boxes.answer(fw::Answer::Replace);
    f.files.choose(path);
    second.SendCommand(ID_FILE_OPEN_DUMP, CMainFrame::Source::Menu);
    QCOMPARE(f.boxes.shown.size(), std::size_t{2});
    QCOMPARE(f.boxes.shown.back().text,
             "Failed to open file!\n" + path + " is in use by another program.");
    QVERIFY(second.session().dumpPath().empty());
    QVERIFY(!second.session().dumpFile().isOpen());
    QCOMPARE(Contents(path), "first"s);
    second.ShowReceived("not for the file");

    f->ShowReceived(" second");
    QCOMPARE(Contents(path), "first second"s);
    f->SendCommand(ID_FILE_CLOSE_DUMP, CMainFrame::Source::Menu);
    // Once closed, the file is free for the next one.
    f.boxes.answer(fw::Answer::Append);
    f.files.choose(path);
    second.SendCommand(ID_FILE_OPEN_DUMP, CMainFrame::Source::Menu);
    QCOMPARE(second.session().dumpPath(), path);
    second.ShowReceived(" third");
    second.SendCommand(ID_FILE_CLOSE_DUMP, CMainFrame::Source::Menu);
    QCOMPARE(Contents(path), "first second third"s);
}

void TestDumpFile::rawBytesOnly() {
    FrameFixture f;
    QVERIFY(f.created());
    const std::string path = f.tempPath("raw.dmp");
    OpenDump(f, path);
    f->screen().m_bEcho = 1;

    f->ShowReceived(AllBytes());  // NULs and all
    f->SetHexView(1);             // the file still gets the bytes, not their rendering
    f->ShowReceived("ab\bc\r\n"); // nor does the backspace pass reach it
    f->SetHexView(0);
    f->screen().OnChar('T', 1, 0); // typed with the port closed: screen only
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
    QVERIFY(f->comm().GetPortOpen());

    const std::string all = AllBytes();
    QVERIFY(pty.writeAll(all));
    QTRY_COMPARE_WITH_TIMEOUT(Contents(path).size(), all.size(), 3000);
    // Typed characters go to the wire, echoed or not, never to the dump.
    f->screen().OnChar('t', 1, 0);
    f->screen().m_bEcho = 1;
    f->screen().OnChar('u', 1, 0);
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
    QCOMPARE(box.text,
             "Failed to open file!\n" + f.tempPath("no/such/folder/x.dmp") + " was not found.");
    QCOMPARE(box.buttons, fw::Buttons::Ok);
    QCOMPARE(box.icon, fw::Icon::Exclamation);
    QCOMPARE(box.caption, "Wirelog"s);
    QCOMPARE(f->session().dumpPath(), ""s);
    QVERIFY(!f->session().dumpFile().isOpen());
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
    QCOMPARE(f->session().dumpPath(), ""s);
    QVERIFY(!f->session().dumpFile().isOpen());
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

void TestDumpFile::logLines_data() {
    // Events: "<ms> <erase> <text>" received, "pause", or "utf8" (the text read as UTF-8).
    QTest::addColumn<QByteArrayList>("events");
    QTest::addColumn<QStringList>("lines");
    const auto row = [](const char* name, QByteArrayList events, QStringList lines) {
        QTest::newRow(name) << events << lines;
    };
    row("a break ends the line", {"1000 0 ab\r\ncd\r\n"}, {"01.000  ab", "01.000  cd"});
    row("stamped when the first byte came", {"1000 0 ab", "2000 0 c\r\n"}, {"01.000  abc"});
    row("an empty line", {"1000 0 \r\n"}, {"01.000  "});
    row("a pause cuts the open line, the rest has its own stamp",
        {"1000 0 abc", "pause", "1500 0 def\r\n"}, {"01.000  abc\\", "01.500  def"});
    row("a pause with no line open writes nothing", {"1000 0 a\r\n", "pause"}, {"01.000  a"});
    row("an endless line is cut every 4096 bytes",
        {"1000 0 " + QByteArray(5000, 'x'), "2000 0 " + QByteArray(4000, 'y') + "\r\n"},
        {"01.000  " + QString(4096, 'x') + "\\",
         "01.000  " + QString(904, 'x') + QString(3192, 'y') + "\\",
         "02.000  " + QString(808, 'y')});
    row("4096 bytes and a break: no cut", {"1000 0 " + QByteArray(4096, 'z') + "\r\n"},
        {"01.000  " + QString(4096, 'z')});
    row("control bytes, DEL and the backslash as \\xNN", {"1000 0 \x1B[1m\t\x7F\\\x01\r\n"},
        {"01.000  \\x1B[1m\\x09\\x7F\\x5C\\x01"});
    row("the code page in UTF-8", {"1000 0 \xE9\x80\x81\xFF\r\n"},
        {QString::fromUtf8("01.000  \u00E9\u20AC\u0081\u00FF")});
    row("UTF-8: characters as they are, joined across reads",
        {"utf8", "1000 0 caf\xC3", "1001 0 \xA9 \xE2\x86\x92 \xF0\x9F\x98\x80\r\n"},
        {QString::fromUtf8("01.000  caf\u00E9 \u2192 \U0001F600")});
    row("UTF-8: a byte of no sequence as \\xNN",
        {"utf8", "1000 0 \xC3(\xED\xA0\x80\xC0\xAF\xF8\x80\xF4\x90\x80\x80\r\n"},
        {"01.000  \\xC3(\\xED\\xA0\\x80\\xC0\\xAF\\xF8\\x80\\xF4\\x90\\x80\\x80"});
    row("an erase shortens the open line", {"1000 0 abc", "2000 1 X\r\n"}, {"01.000  abX"});
    row("an erase that empties it: the next byte starts afresh", {"1000 0 ab", "2000 2 c\r\n"},
        {"02.000  c"});
    row("an erase leaves written lines alone", {"1000 0 a\r\n", "2000 5 b\r\n"},
        {"01.000  a", "02.000  b"});
    row("the clock steps back: as it says, in arrival order",
        {"5000 0 late\r\n", "1000 0 early\r\n"}, {"05.000  late", "01.000  early"});
}

void TestDumpFile::logLines() {
    QFETCH(QByteArrayList, events);
    QFETCH(QStringList, lines);
    transfer::LineCutter cutter;
    std::string out;
    for (const QByteArray& event : events) {
        if (event == "pause") {
            cutter.pause(out);
            continue;
        }
        if (event == "utf8") {
            cutter.setUtf8(true);
            continue;
        }
        const QList<QByteArray> parts = event.split(' ');
        const std::string text = event.mid(parts[0].size() + parts[1].size() + 2).toStdString();
        cutter.received(text, parts[1].toULongLong(), parts[0].toLongLong(), out);
    }
    cutter.finish(out);
    QCOMPARE(QString::fromStdString(out), QString::fromStdString(LogLines(lines)));
}

void TestDumpFile::logBesideTheDump() {
    FrameFixture f;
    QVERIFY(f.created());
    fw::SetMsClockSource([] { return std::int64_t{1000}; });
    const std::string dump = f.tempPath("both.dmp");
    const std::string log = f.tempPath("both.log");
    OpenDump(f, dump);
    OpenLog(f, log);
    const fw::FileDialogRequest& request = f.files.requests.back();
    QCOMPARE(request.defaultExtension, "log"s);
    QCOMPARE(request.filters.size(), std::size_t{2});
    QCOMPARE(request.filters[0].pattern, " *.log "s);
    QCOMPARE(f->windowTitle(), DumpCaption(dump) + QStringLiteral(" - logging to \"%1\"")
                                                      .arg(QString::fromStdString(log)));
    QVERIFY(!Enabled(f.frame(), ID_FILE_OPEN_LOG));
    QVERIFY(Enabled(f.frame(), ID_FILE_CLOSE_LOG));

    // Each event's finished lines are in the file as soon as the event is over.
    f->ShowReceived("one\r\ntw");
    QCOMPARE(Contents(log), LogLines({"01.000  one"}));
    // The open line is written once the data pauses, marked as cut.
    QTRY_COMPARE_WITH_TIMEOUT(Contents(log), LogLines({"01.000  one", "01.000  tw\\"}), 3000);
    f->screen().OnChar('k', 1, 0); // typed: the screen's, never the log's
    f->ShowReceived("o\r\n");
    QCOMPARE(Contents(log), LogLines({"01.000  one", "01.000  tw\\", "01.000  o"}));

    // Closing the dump leaves the log; the window's close ends it, its open line written.
    f->SendCommand(ID_FILE_CLOSE_DUMP, CMainFrame::Source::Menu);
    QVERIFY(f->session().logFile().isOpen());
    f->ShowReceived("last");
    f->close();
    fw::SetMsClockSource({});
    QVERIFY(f.boxes.shown.empty());
    QVERIFY(f->IsClosed());
    QVERIFY(!f->session().logFile().isOpen());
    QCOMPARE(Contents(log), LogLines({"01.000  one", "01.000  tw\\", "01.000  o", "01.000  last"}));
    QCOMPARE(Contents(dump), "one\r\ntwo\r\n"s); // closed before "last"
}

void TestDumpFile::logRefused_data() {
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("reason"); // the failure box's second line, %1 the path
    QTest::newRow("the dump's own file") << "dump"
                                         << "%1 is in use by another program.";
    QTest::newRow("a folder") << "folder"
                              << "%1 is a folder, not a file.";
    QTest::newRow("in a missing folder") << "missing"
                                         << "%1 was not found.";
}

void TestDumpFile::logRefused() {
    QFETCH(QString, what);
    QFETCH(QString, reason);
    FrameFixture f;
    QVERIFY(f.created());
    const std::string dump = f.tempPath("held.dmp");
    OpenDump(f, dump);
    f->ShowReceived("kept");
    std::string path = dump;
    if (what == "folder") {
        path = f.tempPath("folder.log");
        QVERIFY(QDir().mkpath(QString::fromStdString(path)));
    } else if (what == "missing") {
        path = f.tempPath("no/such/x.log");
    }
    // The dump's file holds data: asked first, and the answer does not get past the lock.
    if (what == "dump") f.boxes.answer(fw::Answer::Replace);
    OpenLog(f, path);
    QCOMPARE(f.boxes.shown.size(), std::size_t{what == "dump" ? 2u : 1u});
    QCOMPARE(QString::fromStdString(f.boxes.shown.back().text),
             "Failed to open file!\n" + reason.arg(QString::fromStdString(path)));
    QVERIFY(!f->session().logFile().isOpen());
    QCOMPARE(f->session().logPath(), ""s);
    QCOMPARE(f->windowTitle(), DumpCaption(dump));
    QVERIFY(Enabled(f.frame(), ID_FILE_OPEN_LOG));
    // The dump goes on, nothing of it lost.
    f->ShowReceived("!");
    f->SendCommand(ID_FILE_CLOSE_DUMP, CMainFrame::Source::Menu);
    QCOMPARE(Contents(dump), "kept!"s);
    // And the other way round: a dump on the open log's file is refused the same way.
    if (what == "dump") {
        const std::string log = f.tempPath("held.log");
        OpenLog(f, log);
        OpenDump(f, log);
        QCOMPARE(f.boxes.shown.size(), std::size_t{3});
        QCOMPARE(f.boxes.shown.back().text,
                 "Failed to open file!\n" + log + " is in use by another program.");
        QVERIFY(f->session().logFile().isOpen());
    }
}

void TestDumpFile::logFailingWrite() {
    FrameFixture f;
    QVERIFY(f.created());
    const std::string dump = f.tempPath("going.dmp");
    OpenDump(f, dump);
    OpenLog(f, "/dev/full");
    QVERIFY(f.boxes.shown.empty());
    f->ShowReceived("lost?\r\n");
    // The event reaches the screen and the dump; the log is closed at once...
    QCOMPARE(f.screen(), "lost?\r\n"s);
    QVERIFY(!f->session().logFile().isOpen());
    QCOMPARE(f->session().logPath(), ""s);
    QCOMPARE(f->windowTitle(), DumpCaption(dump));
    QVERIFY(Enabled(f.frame(), ID_FILE_OPEN_LOG));
    // ...and the failure is told once.
    QTRY_COMPARE_WITH_TIMEOUT(f.boxes.shown.size(), std::size_t{1}, 2000);
    QVERIFY2(f.boxes.shown.front().text.find("/dev/full") != std::string::npos,
             f.boxes.shown.front().text.c_str());
    QCOMPARE(f.boxes.shown.front().icon, fw::Icon::Stop);
    f->ShowReceived("next\r\n");
    QTest::qWait(50);
    QCOMPARE(f.boxes.shown.size(), std::size_t{1});
    f->SendCommand(ID_FILE_CLOSE_DUMP, CMainFrame::Source::Menu);
    QCOMPARE(Contents(dump), "lost?\r\nnext\r\n"s);
}

QTEST_MAIN(TestDumpFile)
#include "tst_dumpfile.moc"
