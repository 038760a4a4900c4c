// Where received files land: names a sender gives are checked before use, a file is written
// beside its final name and takes it only when complete, a full disk keeps what came.
#include "tests/support/bytesprinter.h"
#include "transfer/protocol/receivingfile.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fstream>
#include <sys/resource.h>

using namespace protocol;
using namespace std::string_literals;

namespace {

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool Exists(const std::string& path) {
    return QFileInfo::exists(QString::fromStdString(path));
}

} // namespace

class TestReceivingFile : public QObject {
    Q_OBJECT
private slots:
    void names_data();
    void names();
    void padding_data();
    void padding();
    void neverClobbers();
    void diskFull();
};

void TestReceivingFile::names_data() {
    QTest::addColumn<std::string>("sent");
    QTest::addColumn<std::string>("name"); // "" when refused
    QTest::addColumn<std::string>("error"); // a piece of the error
    const std::string utf = "\xC3\xA9"; // 2 bytes
    std::string longUtf;
    for (int i = 0; i < 150; ++i)
        longUtf += utf;
    QTest::newRow("plain") << "boot.img"s << "boot.img"s << ""s;
    QTest::newRow("spaces") << "my file .txt"s << "my file .txt"s << ""s;
    QTest::newRow("utf-8") << "Gr\xC3\xBC\xC3\x9F" "e.txt"s << "Gr\xC3\xBC\xC3\x9F" "e.txt"s << ""s;
    QTest::newRow("up") << "../x"s << ""s << "would leave the folder"s;
    QTest::newRow("absolute") << "/etc/passwd"s << ""s << "would leave the folder"s;
    QTest::newRow("inside") << "a/b"s << ""s << "would leave the folder"s;
    QTest::newRow("dot dot") << ".."s << ""s << "no usable file name"s;
    QTest::newRow("empty") << ""s << ""s << "no usable file name"s;
    QTest::newRow("300 bytes") << std::string(296, 'n') + ".bin" << std::string(242, 'n') + ".bin"
                               << ""s;
    QTest::newRow("300 bytes of utf-8") << longUtf << longUtf.substr(0, 246) << ""s;
    QTest::newRow("odd cut of utf-8") << "x" + longUtf << "x" + longUtf.substr(0, 244) << ""s;
}

void TestReceivingFile::names() {
    QFETCH(std::string, sent);
    QFETCH(std::string, name);
    QFETCH(std::string, error);
    const NameCheck check = CheckReceivedName(sent);
    QCOMPARE(check.name, name);
    QCOMPARE(check.error.empty(), error.empty());
    QVERIFY2(check.error.find(error) != std::string::npos, check.error.c_str());
    QVERIFY(check.name.size() <= 246);
}

void TestReceivingFile::padding_data() {
    QTest::addColumn<QStringList>("writes"); // "~" for 0x1A
    QTest::addColumn<bool>("strip");
    QTest::addColumn<std::string>("file");
    QTest::newRow("kept") << QStringList{"ab~~", "~"} << false << "ab\x1a\x1a\x1a"s;
    QTest::newRow("stripped") << QStringList{"ab~~", "~"} << true << "ab"s;
    QTest::newRow("inside kept") << QStringList{"a~", "~b~"} << true << "a\x1a\x1a" "b"s;
    QTest::newRow("all padding") << QStringList{"~~", "~"} << true << ""s;
}

void TestReceivingFile::padding() {
    QFETCH(QStringList, writes);
    QFETCH(bool, strip);
    QFETCH(std::string, file);
    QTemporaryDir dir;
    ReceivingFile out;
    QVERIFY(out.open(dir.path().toStdString(), "f", strip));
    for (QString w : writes)
        QVERIFY(out.write(w.replace('~', QChar(0x1A)).toStdString()));
    QVERIFY(!Exists(out.finalPath()));
    QVERIFY(out.finish());
    QCOMPARE(Read(out.finalPath()), file);
    QVERIFY(!Exists(out.partPath()));
}

// A partial file never lands on a file that exists; the final name is taken only at the end.
void TestReceivingFile::neverClobbers() {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    std::ofstream(folder + "/f.part") << "someone's";
    std::ofstream(folder + "/f") << "old";
    ReceivingFile out;
    QVERIFY(out.open(folder, "f"));
    QCOMPARE(out.partPath(), folder + "/f.2.part");
    QVERIFY(out.write("new"));
    QCOMPARE(Read(folder + "/f"), "old"s);
    QCOMPARE(out.abandon(), "The 3 bytes received are kept in " + folder + "/f.2.part.");
    QCOMPARE(Read(folder + "/f.part"), "someone's"s);
    QCOMPARE(Read(folder + "/f.2.part"), "new"s);
    QVERIFY(!out.open(folder + "/missing", "f"));
    QVERIFY(out.error().find("could not be created") != std::string::npos);
}

// The disk fills (a file size limit stands in for it): the write fails with a clear text and
// the bytes that fit stay in the partial file.
void TestReceivingFile::diskFull() {
    QTemporaryDir dir;
    ReceivingFile out;
    QVERIFY(out.open(dir.path().toStdString(), "big"));
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    const bool first = out.write(std::string(3000, 'a'));
    const bool second = out.write(std::string(3000, 'b'));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(first);
    QVERIFY(!second);
    QVERIFY2(out.error().find("big could not be written: File too large. The 4,096 bytes "
                              "received are kept in ") == 0, out.error().c_str());
    QVERIFY(!out.isOpen());
    QCOMPARE(Read(out.partPath()).size(), std::size_t(4096));
    QVERIFY(!out.finish());
}

QTEST_APPLESS_MAIN(TestReceivingFile)
#include "tst_receivingfile.moc"
