#include "comm/errormarks.h"

#include <QtTest>

#include <random>

using namespace comm;

namespace {

// Events as text, "B1:78 K3": bad byte 0x78 at 1, break at 3.
QString Describe(const std::vector<MarkEvent>& events) {
    QStringList parts;
    for (const MarkEvent& e : events) {
        parts << (e.kind == MarkEvent::Break
                      ? QStringLiteral("K%1").arg(e.position)
                      : QStringLiteral("B%1:%2").arg(e.position).arg(e.byte, 2, 16, QChar('0')));
    }
    return parts.join(' ');
}

struct Decoded {
    std::string out;
    std::vector<MarkEvent> events;
    std::size_t pending = 0;
};

// Decodes `in` in pieces that end at the given cut positions.
Decoded DecodeInPieces(const std::string& in, const std::vector<std::size_t>& cuts) {
    ErrorMarkDecoder dec;
    Decoded d;
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        dec.decode(in.data() + from, cut - from, d.out, d.events);
        from = cut;
    }
    dec.decode(in.data() + from, in.size() - from, d.out, d.events);
    d.pending = dec.pending();
    return d;
}

} // namespace

class TestErrorMarks : public QObject {
    Q_OBJECT
private slots:
    void decode_data();
    void decode();
    void randomKernelStreams();
    void arbitraryInputKeepsPlainBytes();
    void applyMarks_data();
    void applyMarks();
};

void TestErrorMarks::decode_data() {
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QString>("events");
    QTest::addColumn<int>("pending");
    QTest::newRow("plain") << QByteArray("abc\0d", 5) << QByteArray("abc\0d", 5) << "" << 0;
    QTest::newRow("doubled FF") << QByteArray("a\xFF\xFF"
                                              "b")
                                << QByteArray("a\xFF"
                                              "b")
                                << "" << 0;
    QTest::newRow("bad byte") << QByteArray("a\xFF\0x"
                                            "b",
                                            5)
                              << QByteArray("axb") << "B1:78" << 0;
    QTest::newRow("bad FF") << QByteArray("\xFF\0\xFF", 3) << QByteArray("\xFF") << "B0:ff" << 0;
    QTest::newRow("break") << QByteArray("ab\xFF\0\0c", 6) << QByteArray("abc") << "K2" << 0;
    QTest::newRow("marks in a row") << QByteArray("\xFF\0\0\xFF\0q\xFF\xFF\xFF\0\0", 11)
                                    << QByteArray("q\xFF") << "K0 B0:71 K2" << 0;
    QTest::newRow("unknown pair kept") << QByteArray("\xFF"
                                                     "A")
                                       << QByteArray("\xFF"
                                                     "A")
                                       << "" << 0;
    QTest::newRow("ends after FF") << QByteArray("ab\xFF") << QByteArray("ab") << "" << 1;
    QTest::newRow("ends after FF 00") << QByteArray("ab\xFF\0", 4) << QByteArray("ab") << "" << 2;
}

void TestErrorMarks::decode() {
    QFETCH(QByteArray, in);
    QFETCH(QByteArray, out);
    QFETCH(QString, events);
    QFETCH(int, pending);
    const std::string input = in.toStdString();
    // Whole, then split once at every position, then byte by byte: all decode alike.
    std::vector<std::vector<std::size_t>> splits{{}};
    for (std::size_t i = 0; i <= input.size(); ++i)
        splits.push_back({i});
    std::vector<std::size_t> each;
    for (std::size_t i = 1; i < input.size(); ++i)
        each.push_back(i);
    splits.push_back(each);
    for (const auto& cuts : splits) {
        const Decoded d = DecodeInPieces(input, cuts);
        QCOMPARE(QByteArray::fromStdString(d.out), out);
        QCOMPARE(Describe(d.events), events);
        QCOMPARE(int(d.pending), pending);
    }
}

// Streams as the line discipline makes them decode to exactly what was received, however
// the reads cut them.
void TestErrorMarks::randomKernelStreams() {
    std::mt19937 rng(1234);
    for (int round = 0; round < 300; ++round) {
        std::string stream, plain;
        std::vector<MarkEvent> expected;
        for (int i = 0; i < 200; ++i) {
            const auto byte = static_cast<unsigned char>(rng() % 4 == 0 ? 0xFF : rng() % 256);
            switch (rng() % 6) {
            case 0: // bad byte
                if (byte == 0) break;
                expected.push_back({MarkEvent::BadByte, plain.size(), byte});
                stream += std::string("\xFF\0", 2) + char(byte);
                plain += char(byte);
                continue;
            case 1: // break
                expected.push_back({MarkEvent::Break, plain.size(), 0});
                stream += std::string("\xFF\0\0", 3);
                continue;
            default:
                break;
            }
            stream += byte == 0xFF ? std::string("\xFF\xFF") : std::string(1, char(byte));
            plain += char(byte);
        }
        std::vector<std::size_t> cuts;
        for (std::size_t at = rng() % 5; at < stream.size(); at += 1 + rng() % 7)
            cuts.push_back(at);
        const Decoded d = DecodeInPieces(stream, cuts);
        QCOMPARE(QByteArray::fromStdString(d.out), QByteArray::fromStdString(plain));
        QCOMPARE(Describe(d.events), Describe(expected));
        QCOMPARE(int(d.pending), 0);
    }
}

// Any bytes at all: nothing crashes, output never grows beyond the input, and input free of
// 0xFF passes unchanged.
void TestErrorMarks::arbitraryInputKeepsPlainBytes() {
    std::mt19937 rng(99);
    for (int round = 0; round < 300; ++round) {
        std::string in(rng() % 300, '\0');
        for (char& c : in)
            c = char(rng() % 3 == 0 ? (rng() % 2 ? 0xFF : 0) : rng() % 256);
        std::vector<std::size_t> cuts;
        for (std::size_t at = 0; at < in.size(); at += 1 + rng() % 5)
            cuts.push_back(at);
        const Decoded d = DecodeInPieces(in, cuts);
        QVERIFY(d.out.size() <= in.size());
        QCOMPARE(QByteArray::fromStdString(d.out),
                 QByteArray::fromStdString(DecodeInPieces(in, {}).out));
        std::string clean = in;
        std::erase(clean, '\xFF');
        std::erase_if(cuts, [&](std::size_t at) { return at > clean.size(); });
        QCOMPARE(DecodeInPieces(clean, cuts).out, clean);
    }
}

void TestErrorMarks::applyMarks_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("parity");
    QTest::addColumn<QString>("replace");
    QTest::addColumn<QList<int>>("counted"); // frame, parity, break; empty: no counters
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("errors");
    QTest::addColumn<QList<int>>("left"); // the counts not spent
    const QList<int> none;
    const QByteArray bad("A\xFF\0BC", 5), nul("\xFF\0\0", 3), two("\xFF\0a\xFF\0b", 6);
    QTest::newRow("frame") << bad << false << "?" << none << QByteArray("ABC") << "F" << none;
    QTest::newRow("parity replaced")
        << bad << true << "?" << none << QByteArray("A?C") << "P" << none;
    QTest::newRow("parity kept") << bad << true << "" << none << QByteArray("ABC") << "P" << none;
    QTest::newRow("parity first byte")
        << bad << true << "#!" << none << QByteArray("A#C") << "P" << none;
    QTest::newRow("break adds nothing") << QByteArray("x\xFF\0\0y\xFF\xFFz", 8) << false << "?"
                                        << none << QByteArray("xy\xFFz") << "K" << none;
    QTest::newRow("counted frame, parity on") << bad << true << "?" << QList<int>{1, 0, 0}
                                              << QByteArray("ABC") << "F" << QList<int>{0, 0, 0};
    QTest::newRow("counted parity, parity off") << bad << false << "?" << QList<int>{0, 1, 0}
                                                << QByteArray("A?C") << "P" << QList<int>{0, 0, 0};
    QTest::newRow("counted break")
        << nul << true << "?" << QList<int>{0, 0, 1} << QByteArray() << "K" << QList<int>{0, 0, 0};
    QTest::newRow("counted parity on NUL") << nul << true << "?" << QList<int>{0, 1, 0}
                                           << QByteArray("?") << "P" << QList<int>{0, 0, 0};
    QTest::newRow("counted frame on NUL") << nul << true << "?" << QList<int>{1, 0, 0}
                                          << QByteArray("\0", 1) << "F" << QList<int>{0, 0, 0};
    QTest::newRow("break counted before parity")
        << nul << false << "?" << QList<int>{0, 1, 1} << QByteArray() << "K" << QList<int>{0, 1, 0};
    QTest::newRow("counters silent") << bad << true << "?" << QList<int>{0, 0, 0}
                                     << QByteArray("A?C") << "P" << QList<int>{0, 0, 0};
    QTest::newRow("one count per mark") << two << false << "?" << QList<int>{0, 1, 0}
                                        << QByteArray("?b") << "P F" << QList<int>{0, 0, 0};
    QTest::newRow("parity counted before frame")
        << two << false << "?" << QList<int>{1, 1, 0} << QByteArray("?b") << "P F"
        << QList<int>{0, 0, 0};
    QTest::newRow("more marks than counts") << two << true << "?" << QList<int>{1, 0, 0}
                                            << QByteArray("a?") << "F P" << QList<int>{0, 0, 0};
    QTest::newRow("break count kept for the break")
        << QByteArray("\xFF\0a\xFF\0\0", 6) << false << "?" << QList<int>{0, 0, 1}
        << QByteArray("a") << "F K" << QList<int>{0, 0, 0};
}

void TestErrorMarks::applyMarks() {
    QFETCH(QByteArray, line);
    QFETCH(bool, parity);
    QFETCH(QString, replace);
    QFETCH(QList<int>, counted);
    QFETCH(QByteArray, data);
    QFETCH(QString, errors);
    QFETCH(QList<int>, left);
    ErrorMarkDecoder dec;
    std::string chunk;
    std::vector<MarkEvent> marks;
    dec.decode(line.constData(), line.size(), chunk, marks);
    std::optional<MarkBudget> budget;
    if (!counted.isEmpty())
        budget = MarkBudget{std::uint32_t(counted[0]), std::uint32_t(counted[1]),
                            std::uint32_t(counted[2])};
    std::string in = "<";
    std::vector<MarkError> got;
    ApplyMarks(chunk, marks, budget, parity, replace.toStdString(), in, got);
    QCOMPARE(QByteArray::fromStdString(in), "<" + data);
    QStringList names;
    for (MarkError e : got)
        names << (e == MarkError::Frame ? "F" : e == MarkError::Parity ? "P" : "K");
    QCOMPARE(names.join(' '), errors);
    const QList<int> rest =
        budget ? QList<int>{int(budget->frame), int(budget->parity), int(budget->brk)}
               : QList<int>{};
    QCOMPARE(rest, left);
}

QTEST_GUILESS_MAIN(TestErrorMarks)
#include "tst_errormarks.moc"
