// The block protocols at the pure level: a sender and a receiver joined by a simulated line
// that can damage one stretch of bytes, on a simulated clock; and scripted exchanges for what
// only one side can show (a silent peer, blocks out of order, a header that lies).
#include "tests/support/bytesprinter.h"
#include "transfer/protocol/progresstext.h"
#include "transfer/protocol/receiver.h"
#include "transfer/protocol/sender.h"

#include <QtTest>

using namespace protocol;
using namespace std::string_literals;

namespace {

std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = char((i * 131 + i / 256) & 0xFF);
    return s;
}

OutgoingFile Memory(const std::string& name, const std::string& data) {
    return {{name, data.size(), 0x5F5E100},
            [data](std::uint64_t at, std::size_t n, std::string& out) {
                out = data.substr(std::size_t(at), n);
                return true;
            }};
}

// What one side did, in a form a test compares.
struct Outcome {
    std::vector<std::pair<FileInfo, std::string>> files; // receiver: what arrived
    std::string sent;                                    // everything put on the line
    std::string end;                                     // "done" or the failure text
    int fileEnds = 0;

    void take(const Events& events) {
        for (const Event& e : events) {
            switch (e.kind) {
            case Event::Kind::Send: sent += e.bytes; break;
            case Event::Kind::FileBegin: files.push_back({e.file, {}}); break;
            case Event::Kind::Data: files.back().second += e.bytes; break;
            case Event::Kind::FileEnd: ++fileEnds; break;
            case Event::Kind::Done: end = "done"; break;
            case Event::Kind::Failed: end = e.text; break;
            case Event::Kind::Progress: break;
            }
        }
    }
};

// One damage on the simulated line: at byte `at` of one direction.
enum class Damage { None, Flip, Drop, Garbage };
struct Fault {
    Damage damage = Damage::None;
    bool toSender = false;
    std::size_t at = 0;
};

std::string Apply(const Fault& f, bool toSender, std::size_t& count, std::string bytes) {
    const std::size_t from = count;
    count += bytes.size();
    if (f.damage == Damage::None || f.toSender != toSender || f.at < from || f.at >= count)
        return bytes;
    const std::size_t i = f.at - from;
    if (f.damage == Damage::Flip) bytes[i] = char(bytes[i] ^ 0x10);
    if (f.damage == Damage::Drop) bytes.erase(i, 1);
    if (f.damage == Damage::Garbage) bytes.insert(i, Pattern(300).substr(40));
    return bytes;
}

// Runs a whole transfer, 100 ms of simulated time a step; each step carries what either side
// sent the step before.
std::pair<Outcome, Outcome> Exchange(SendOptions so, ReceiveOptions ro,
                                     std::vector<OutgoingFile> files, Fault fault = {}) {
    std::int64_t now = 0;
    Sender sender(so, std::move(files), now);
    Receiver receiver(ro, now);
    Outcome s, r;
    std::size_t toR = 0, toS = 0, countR = 0, countS = 0;
    r.take(receiver.start(now));
    for (; now < 600000 && !(sender.finished() && receiver.finished()); now += 100) {
        const std::string forS = r.sent.substr(toS), forR = s.sent.substr(toR);
        toS = r.sent.size();
        toR = s.sent.size();
        s.take(sender.receive(Apply(fault, true, countS, forS), now));
        r.take(receiver.receive(Apply(fault, false, countR, forR), now));
        s.take(sender.tick(now));
        r.take(receiver.tick(now));
    }
    return {s, r};
}

std::string Padded(const std::string& data, std::size_t block) {
    std::string p = data;
    p.resize((data.size() + block - 1) / block * block, char(kSub));
    return p;
}

} // namespace

class TestProtocol : public QObject {
    Q_OBJECT
private slots:
    void checksums();
    void headers_data();
    void headers();
    void exchange_data();
    void exchange();
    void scripted_data();
    void scripted();
    void batch();
    void progressTexts_data();
    void progressTexts();
    void summaries_data();
    void summaries();
};

void TestProtocol::checksums() {
    QCOMPARE(Crc16("123456789"), std::uint16_t(0x31C3));
    QCOMPARE(Checksum("\x01\x02\xFF"), std::uint8_t(0x02));
    const std::string block = MakeBlock(257, "AB", true);
    QCOMPARE(block.size(), std::size_t(133));
    QCOMPARE(block.substr(0, 5), "\x01\x01\xFE" "AB"s);
    QCOMPARE(MakeBlock(3, Pattern(129), false).size(), std::size_t(1028));
    QCOMPARE(GroupDigits(12288), "12,288"s);
    QCOMPARE(GroupDigits(100), "100"s);
    QCOMPARE(GroupDigits(1234567), "1,234,567"s);
}

void TestProtocol::headers_data() {
    QTest::addColumn<std::string>("data");
    QTest::addColumn<std::string>("name");
    QTest::addColumn<qint64>("size"); // -1: none
    QTest::addColumn<qint64>("mtime");
    QTest::newRow("full") << "boot.img\0" "40000 14763720110 100644\0"s << "boot.img"s
                          << qint64(40000) << qint64(014763720110);
    QTest::newRow("name only") << "a b\0\0"s << "a b"s << qint64(-1) << qint64(0);
    QTest::newRow("size not a number") << "x\0-12 7\0"s << "x"s << qint64(-1) << qint64(7);
    QTest::newRow("end of batch") << std::string(128, '\0') << ""s << qint64(-1) << qint64(0);
    QTest::newRow("no terminator") << "abc"s << "abc"s << qint64(-1) << qint64(0);
}

void TestProtocol::headers() {
    QFETCH(std::string, data);
    QFETCH(std::string, name);
    QFETCH(qint64, size);
    QFETCH(qint64, mtime);
    const FileInfo f = ParseHeader(data);
    QCOMPARE(f.name, name);
    QCOMPARE(f.size ? qint64(*f.size) : -1, size);
    QCOMPARE(qint64(f.mtime), mtime);
    if (size >= 0) { // and what we write reads back the same
        const FileInfo back = ParseHeader(MakeHeader(f));
        QCOMPARE(back.name, name);
        QCOMPARE(qint64(back.size.value_or(0)), size);
        QCOMPARE(qint64(back.mtime), mtime);
    }
}

// Whole transfers over the simulated line: every size around the block sizes, every protocol,
// and one damage in either direction that the retries must mend.
void TestProtocol::exchange_data() {
    QTest::addColumn<bool>("batch");
    QTest::addColumn<bool>("oneK");
    QTest::addColumn<bool>("crc");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("damage");
    QTest::addColumn<bool>("toSender");
    QTest::addColumn<int>("at");
    struct Kind { const char* name; bool batch, oneK, crc; };
    const Kind kinds[] = {{"xmodem-sum", false, false, false}, {"xmodem-crc", false, false, true},
                          {"xmodem-1k", false, true, true}, {"ymodem", true, false, true},
                          {"ymodem-1k", true, true, true}};
    for (const Kind& k : kinds)
        for (int size : {0, 1, 127, 128, 129, 1023, 1024, 1025, 70000})
            QTest::addRow("%s %d", k.name, size) << k.batch << k.oneK << k.crc << size
                                                  << int(Damage::None) << false << 0;
    struct Hurt { const char* name; Damage damage; bool toSender; int at; };
    const Hurt hurts[] = {{"flipped", Damage::Flip, false, 700}, {"dropped", Damage::Drop, false, 900},
                          {"garbage", Damage::Garbage, false, 1500},
                          {"flipped header", Damage::Flip, false, 20},
                          {"ack lost", Damage::Drop, true, 2}, {"ack flipped", Damage::Flip, true, 3},
                          {"garbage to sender", Damage::Garbage, true, 3}};
    for (const Kind& k : kinds)
        for (const Hurt& h : hurts)
            QTest::addRow("%s %s", k.name, h.name) << k.batch << k.oneK << k.crc << 5000
                                                   << int(h.damage) << h.toSender << h.at;
}

void TestProtocol::exchange() {
    QFETCH(bool, batch);
    QFETCH(bool, oneK);
    QFETCH(bool, crc);
    QFETCH(int, size);
    QFETCH(int, damage);
    QFETCH(bool, toSender);
    QFETCH(int, at);
    const std::string data = Pattern(std::size_t(size));
    const auto [s, r] = Exchange({batch, oneK}, {batch, crc}, {Memory("f.bin", data)},
                                 {Damage(damage), toSender, std::size_t(at)});
    QCOMPARE(s.end, "done"s);
    QCOMPARE(r.end, "done"s);
    QCOMPARE(r.files.size(), std::size_t(1));
    QCOMPARE(r.fileEnds, 1);
    if (batch) {
        QCOMPARE(r.files[0].first.name, "f.bin"s);
        QCOMPARE(r.files[0].second, data); // byte for byte
    } else {
        // XMODEM cannot carry the length: the last block's padding stays.
        // A 1K block is used only where it pads no more than short blocks would.
        QCOMPARE(r.files[0].second, Padded(data, 128));
    }
}

namespace {

// One step of a scripted exchange: at `at` ms the engine gets `in` (and a tick); afterwards
// its end is `end` ("" while it runs).
struct Step {
    std::int64_t at;
    std::string in;
    std::string end;
};
using Script = std::vector<Step>;

std::string Block(std::uint32_t n, const std::string& data, bool crc = true) {
    return MakeBlock(n, data, crc);
}
std::string Header(const std::string& name, std::optional<std::uint64_t> size) {
    return Block(0, MakeHeader({name, size, 0}));
}
const std::string kEotS(1, char(kEot)), kAckS(1, char(kAck)), kNakS(1, char(kNak)),
    kCanCan(2, char(kCan)), kCS("C");

// Waits that end in a failure: a tick every 10 s from `from`, `count` of them.
Script Silence(std::int64_t from, int count, const std::string& end) {
    Script s;
    for (int i = 1; i <= count; ++i)
        s.push_back({from + 10000LL * i, {}, i == count ? end : ""});
    return s;
}
std::string Repeat(const std::string& s, int n) {
    std::string r;
    while (n-- > 0)
        r += s;
    return r;
}
// Blocks 1 to `count` of `size` bytes, one a millisecond from 101 on.
Script Blocks(std::uint32_t count, std::size_t size) {
    Script s;
    for (std::uint32_t n = 1; n <= count; ++n)
        s.push_back({100 + n, Block(n, Pattern(size)), ""});
    return s;
}
Script operator+(Script a, const Script& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

Q_DECLARE_METATYPE(Script)

void TestProtocol::scripted_data() {
    QTest::addColumn<bool>("sending");
    QTest::addColumn<bool>("batch");
    QTest::addColumn<Script>("script");
    QTest::addColumn<std::string>("data");    // receiving: what the file got
    QTest::addColumn<std::string>("sentEnd"); // the end of what went on the line
    const std::string a = Pattern(128), b = Pattern(300).substr(128, 128), cans(8, char(kCan));
    const std::string noStart = "The sender did not start within 60 seconds.";

    QTest::newRow("receiver: sender never starts")
        << false << false << Script{{59900, {}, ""}, {60000, {}, noStart}} << ""s << cans;
    QTest::newRow("receiver: sender stops mid-file")
        << false << false
        << Script{{100, Block(1, a), ""}} +
               Silence(100, 11, "Too many errors in block 2; the transfer was stopped.")
        << a << cans;
    QTest::newRow("receiver: block out of sequence")
        << false << false
        << Script{{100, Block(1, a), ""},
                  {200, Block(3, b), "A block numbered 3 arrived where block 2 was expected; "
                                     "the transfer was stopped."}}
        << a << cans;
    QTest::newRow("receiver: duplicate block")
        << false << false
        << Script{{100, Block(1, a), ""}, {200, Block(1, a), ""}, {300, Block(2, b), ""},
                  {400, kEotS, "done"}}
        << a + b << kAckS + kAckS + kAckS + kAckS;
    QTest::newRow("receiver: noise between blocks")
        << false << false
        << Script{{100, "\x7f\x80zz" + Block(1, a), ""}, {200, "\x18x" + Block(2, b), ""},
                  {300, kEotS, "done"}}
        << a + b << kAckS + kAckS + kAckS;
    QTest::newRow("receiver: sender cancels")
        << false << true
        << Script{{100, Header("big", 40000), ""}} +
               Blocks(12, 1024) +
               Script{{200, kCanCan, "The sender cancelled the transfer after 12,288 of 40,000 bytes."}}
        << Repeat(Pattern(1024), 12) << kAckS;
    QTest::newRow("receiver: size shorter than sent")
        << false << true
        << Script{{100, Header("s", 100), ""}, {200, Block(1, a), ""}, {300, kEotS, ""},
                  {400, Block(0, std::string(128, '\0')), "done"}}
        << a.substr(0, 100) << kAckS;
    QTest::newRow("receiver: size longer than sent")
        << false << true
        << Script{{100, Header("s", 5000), ""}, {200, Block(1, a), ""}, {300, kEotS, ""},
                  {400, Block(0, std::string(128, '\0')), "done"}}
        << a << kAckS;
    QTest::newRow("receiver: 0-byte file")
        << false << true
        << Script{{100, Header("empty", 0), ""}, {200, kEotS, ""},
                  {300, Block(0, std::string(128, '\0')), "done"}}
        << ""s << kAckS;

    QTest::newRow("sender: receiver never starts")
        << true << false << Script{{59900, {}, ""}, {60000, {}, "The receiver did not start within 60 seconds."}}
        << ""s << cans;
    Script acks{{100, kCS, ""}, {150, {}, ""}}; // the first block goes once the line settles
    for (int n = 1; n <= 16; ++n)
        acks.push_back({200 + n, kAckS, ""});
    Script naks = acks;
    for (int n = 1; n <= 11; ++n)
        naks.push_back({300 + n, kNakS, n == 11 ? "Too many errors in block 17; the transfer was stopped." : ""});
    QTest::newRow("sender: too many errors") << true << false << naks << ""s << cans;
    Script cancelled = acks;
    cancelled.resize(14);
    cancelled.push_back({400, kCanCan, "The receiver cancelled the transfer after 12,288 of 40,000 bytes."});
    QTest::newRow("sender: receiver cancels") << true << false << cancelled << ""s
                                              << Block(13, Pattern(40000).substr(12288, 1024));
    QTest::newRow("sender: receiver falls silent")
        << true << false
        << Script{{100, kCS, ""}, {200, {}, ""}} +
               Silence(200, 11, "Too many errors in block 1; the transfer was stopped.")
        << ""s << cans;
}

void TestProtocol::scripted() {
    QFETCH(bool, sending);
    QFETCH(bool, batch);
    QFETCH(Script, script);
    QFETCH(std::string, data);
    QFETCH(std::string, sentEnd);
    Sender sender({batch, true}, {Memory("big", Pattern(40000))}, 0);
    Receiver receiver({batch, true}, 0);
    Outcome out;
    if (!sending) out.take(receiver.start(0));
    for (const Step& step : script) {
        out.take(sending ? sender.receive(step.in, step.at) : receiver.receive(step.in, step.at));
        out.take(sending ? sender.tick(step.at) : receiver.tick(step.at));
        QCOMPARE(out.end, step.end);
    }
    if (!sending) QCOMPARE(out.files.empty() ? ""s : out.files.back().second, data);
    QVERIFY(out.sent.size() >= sentEnd.size());
    QCOMPARE(out.sent.substr(out.sent.size() - sentEnd.size()), sentEnd);
    // Once ended, nothing more goes out, whatever comes.
    const std::size_t before = out.sent.size();
    out.take(sending ? sender.receive(kCS + kNakS, 900000) : receiver.receive(Block(1, Pattern(128)), 900000));
    out.take(sending ? sender.tick(990000) : receiver.tick(990000));
    if (!out.end.empty()) QCOMPARE(out.sent.size(), before);
}

// A batch carries the names exactly as given (checking them is the receiving file's job),
// sizes and times; Cancel twice cancels once.
void TestProtocol::batch() {
    const std::vector<std::string> names = {std::string(300, 'n') + ".bin", "../etc/passwd",
                                            "with spaces .txt", "Gr\xC3\xBC\xC3\x9F" "e.txt",
                                            "empty"};
    std::vector<OutgoingFile> files;
    for (std::size_t i = 0; i < names.size(); ++i)
        files.push_back(Memory(names[i], Pattern(i == 4 ? 0 : 200 + i * 1000)));
    const auto [s, r] = Exchange({true, true}, {true, true}, files);
    QCOMPARE(s.end, "done"s);
    QCOMPARE(r.end, "done"s);
    QCOMPARE(r.files.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        QCOMPARE(r.files[i].first.name, names[i]);
        QCOMPARE(r.files[i].first.size, std::optional<std::uint64_t>(r.files[i].second.size()));
        QCOMPARE(r.files[i].first.mtime, std::int64_t(0x5F5E100));
        QCOMPARE(r.files[i].second, Pattern(i == 4 ? 0 : 200 + i * 1000));
    }

    // Cancelled with a block on its way, the sender waits for the answer to it before the
    // CANs go: behind the block they could pass for its data. No answer: they go anyway.
    for (const bool answered : {true, false}) {
        Sender sender({true, true}, files, 0);
        Outcome once;
        once.take(sender.receive("C", 10));
        once.take(sender.tick(10 + kSettleMs));
        const std::size_t before = once.sent.size();
        QCOMPARE(before, std::size_t(1029)); // the header block (a long name needs 1K)
        once.take(sender.cancel(2000));
        once.take(sender.cancel(2001));
        QCOMPARE(once.sent.size(), before);
        if (answered) {
            once.take(sender.receive(kAckS, 2100));
        } else {
            sender.flushed(2500);
            once.take(sender.tick(2500 + kCancelWaitMs - 1));
            QCOMPARE(once.sent.size(), before);
            once.take(sender.tick(2500 + kCancelWaitMs));
        }
        QCOMPARE(once.end, "The transfer was cancelled."s);
        QCOMPARE(once.sent.substr(before), std::string(8, char(kCan)));
    }
    Receiver receiver({false, true}, 0);
    Outcome twice;
    twice.take(receiver.cancel());
    twice.take(receiver.cancel());
    QCOMPARE(twice.sent, std::string(8, char(kCan)));
}

void TestProtocol::progressTexts_data() {
    QTest::addColumn<bool>("sending");
    QTest::addColumn<qulonglong>("done");
    QTest::addColumn<qlonglong>("total"); // -1: not known
    QTest::addColumn<double>("rate");
    QTest::addColumn<QString>("text");
    QTest::addRow("the status bar's example")
        << true << 123456ULL << 333333LL << 11520.0
        << "Sending u.bin: 37 % (123,456 of 333,333 bytes), 11.2 KB/s";
    QTest::addRow("never full before the end")
        << false << 999ULL << 1000LL << 800.0 << "Receiving u.bin: 99 % (999 of 1,000 bytes), 800 B/s";
    QTest::addRow("all through") << true << 1000ULL << 1000LL << 2048.0
                                 << "Sending u.bin: 100 % (1,000 of 1,000 bytes), 2.0 KB/s";
    QTest::addRow("empty file") << true << 0ULL << 0LL << 0.0
                                << "Sending u.bin: 100 % (0 of 0 bytes), 0 B/s";
    QTest::addRow("a size that lied")
        << false << 5000ULL << 1000LL << 3.0 * 1024 * 1024
        << "Receiving u.bin: 100 % (5,000 of 1,000 bytes), 3.0 MB/s";
    QTest::addRow("no size") << false << 1234567ULL << -1LL << 1000.4
                             << "Receiving u.bin: 1,234,567 bytes, 1000 B/s";
}

void TestProtocol::progressTexts() {
    QFETCH(bool, sending);
    QFETCH(qulonglong, done);
    QFETCH(qlonglong, total);
    QFETCH(double, rate);
    QFETCH(QString, text);
    const std::optional<std::uint64_t> size =
        total < 0 ? std::nullopt : std::optional<std::uint64_t>(std::uint64_t(total));
    QCOMPARE(QString::fromStdString(ProgressText(sending, "u.bin", done, size, rate)), text);
}

void TestProtocol::summaries_data() {
    QTest::addColumn<bool>("sending");
    QTest::addColumn<int>("files"); // how many of the three below went through
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("text");
    QTest::addRow("sent") << true << 2 << ""
                          << "YMODEM sent a.bin (1,024 bytes), b b.bin (0 bytes).";
    QTest::addRow("received, one kept")
        << false << 3 << ""
        << "YMODEM received a.bin (1,024 bytes), b b.bin (0 bytes), c.bin (kept the file that "
           "was there).";
    QTest::addRow("nothing came") << false << 0 << ""
                                  << "YMODEM received no files.";
    QTest::addRow("stopped at once")
        << true << 0 << "The receiver did not start within 60 seconds."
        << "YMODEM sending stopped: The receiver did not start within 60 seconds.";
    QTest::addRow("stopped in the second file")
        << false << 1 << "The transfer was cancelled."
        << "YMODEM receiving stopped: The transfer was cancelled. Complete: a.bin (1,024 bytes).";
}

void TestProtocol::summaries() {
    QFETCH(bool, sending);
    QFETCH(int, files);
    QFETCH(QString, failure);
    QFETCH(QString, text);
    const std::vector<MovedFile> all = {{"a.bin", 1024, false}, {"b b.bin", 0, false},
                                        {"c.bin", 77, true}};
    const std::vector<MovedFile> moved(all.begin(), all.begin() + files);
    QCOMPARE(QString::fromStdString(
                 TransferSummary("YMODEM", sending, moved, failure.toStdString())),
             text);
}

QTEST_APPLESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
