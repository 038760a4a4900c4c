#include "settings/registryformat.h"
#include "settings/registrystore.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace settings;
using namespace std::chrono_literals;
using B = QByteArray;
using S = RegStatus;

namespace settings {
char* toString(RegStatus status) {
    return qstrdup(StatusText(status));
}
} // namespace settings

namespace {

const char kKey[] = "HKEY_USERS\\.DEFAULT\\Software\\K-W\\Wirelog\\Settings";
const char kOther[] = "HKEY_CURRENT_USER\\Software\\K-W\\Wirelog";
const B kSection = B("[") + kKey + "]\n";
const B kHead = "REGEDIT4\n\n" + kSection;
const B kOld = kHead + "\"Echo\"=dword:00000000\n\n";

B ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : B("<unreadable>");
}

void WriteFile(const QString& path, const B& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

B Dword(std::uint32_t n) {
    return B(reinterpret_cast<const char*>(&n), 4);
}

RegStatus Set(RegKey& key, const char* name, std::uint32_t type, const B& data) {
    return SetValue(key, name, type, data.constData(), std::uint32_t(data.size()));
}

// The value as a fresh handle reads it, or "<status>" when the open or the query fails.
B Read(const char* path, const char* name, std::uint32_t* type = nullptr) {
    RegKey key;
    char buffer[256];
    std::uint32_t size = sizeof buffer;
    RegStatus status = OpenKey(path, key);
    if (status == S::Ok) status = QueryValue(key, name, type, buffer, &size);
    return status == S::Ok ? B(buffer, size) : '<' + B(StatusText(status)) + '>';
}

} // namespace

// The text format and the name rules, on strings alone.
class TestRegistryFormat : public QObject {
    Q_OBJECT

    static RegDocument parse(const B& text) {
        auto doc = ParseDocument(std::string_view(text.constData(), std::size_t(text.size())));
        if (!doc) QTest::qFail("the text does not parse", __FILE__, __LINE__);
        return doc.value_or(RegDocument{"<damaged>", {}});
    }
    static B text(const RegDocument& doc) { return B::fromStdString(SerializeDocument(doc)); }
    static std::string str(const B& b) { return b.toStdString(); }

private slots:
    void names_data() {
        QTest::addColumn<B>("a");
        QTest::addColumn<B>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("same") << B("Echo") << B("Echo") << true;
        QTest::newRow("case of ASCII letters") << B("Settings") << B("sETTINGS") << true;
        QTest::newRow("first and last letters") << B("AZaz") << B("azAZ") << true;
        QTest::newRow("before A") << B("@") << B("`") << false;
        QTest::newRow("after Z") << B("[") << B("{") << false;
        QTest::newRow("non-ASCII keeps its case") << B("\xe9") << B("\xc9") << false;
        QTest::newRow("prefix") << B("Echo") << B("Echo2") << false;
        QTest::newRow("empty") << B() << B() << true;
    }
    void names() {
        QFETCH(B, a);
        QFETCH(B, b);
        QTEST(SameName(str(a), str(b)), "same");
        QTEST(SameName(str(b), str(a)), "same");
    }

    void keyPaths_data() {
        QTest::addColumn<B>("path");
        QTest::addColumn<bool>("valid");
        for (const char* root : {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                 "HKEY_USERS", "HKEY_CURRENT_CONFIG"})
            QTest::addRow("%s", root) << B(root) + "\\Software" << true;
        const B part255 = "HKEY_USERS\\" + B(255, 'k');
        B longest = "HKEY_USERS";
        while (longest.size() + 201 <= 32767)
            longest += '\\' + B(200, 'k');
        longest += '\\' + B(32767 - longest.size() - 1, 'k');
        QTest::newRow("program's key") << B(kKey) << true;
        QTest::newRow("root alone") << B("HKEY_USERS") << true;
        QTest::newRow("root in any case") << B("hkey_Users\\x") << true;
        QTest::newRow("8-bit text") << B("HKEY_USERS\\\xe9t\xe9 [1]") << true;
        QTest::newRow("part of 255") << part255 << true;
        QTest::newRow("part of 256") << part255 + 'k' << false;
        QTest::newRow("path of 32767") << longest << true;
        QTest::newRow("path of 32768") << longest + 'k' << false;
        QTest::newRow("empty") << B() << false;
        QTest::newRow("unknown root") << B("HKEY_NOWHERE\\x") << false;
        QTest::newRow("root cut short") << B("HKEY_USER\\x") << false;
        QTest::newRow("empty part") << B("HKEY_USERS\\\\.DEFAULT") << false;
        QTest::newRow("trailing backslash") << B("HKEY_USERS\\") << false;
        QTest::newRow("control byte") << B("HKEY_USERS\\a\tb") << false;
        QTest::newRow("DEL") << B("HKEY_USERS\\a\x7f") << false;
    }
    void keyPaths() {
        QFETCH(B, path);
        QTEST(IsValidKeyPath(str(path)), "valid");
    }

    void valueNames_data() {
        QTest::addColumn<B>("name");
        QTest::addColumn<bool>("valid");
        QTest::newRow("default value") << B("") << true;
        QTest::newRow("plain") << B("Echo") << true;
        QTest::newRow("quotes and backslashes") << B("a\"=\\b") << true;
        QTest::newRow("8-bit text") << B("\xe9\xff") << true;
        QTest::newRow("16383 bytes") << B(16383, 'n') << true;
        QTest::newRow("16384 bytes") << B(16384, 'n') << false;
        QTest::newRow("line break") << B("a\nb") << false;
        QTest::newRow("space is text") << B(" ") << true;
        QTest::newRow("unit separator") << B("\x1f") << false;
        QTest::newRow("DEL") << B("\x7f") << false;
    }
    void valueNames() {
        QFETCH(B, name);
        QTEST(IsValidValueName(std::string_view(name.constData(), std::size_t(name.size()))),
              "valid");
    }

    void keyExists_data() {
        QTest::addColumn<B>("sections");
        QTest::addColumn<B>("path");
        QTest::addColumn<bool>("exists");
        const B settings = kSection, old = B(kSection).replace("Settings]", "SettingsOld]");
        const B parent = "HKEY_USERS\\.DEFAULT\\Software\\K-W\\Wirelog";
        QTest::newRow("its section") << settings << B(kKey) << true;
        QTest::newRow("other case") << settings << B(kKey).toLower() << true;
        QTest::newRow("parent of a section") << settings << parent << true;
        QTest::newRow("parent, other case") << settings << parent.toUpper() << true;
        QTest::newRow("root") << B() << B("HKEY_LOCAL_MACHINE") << true;
        QTest::newRow("longer sibling") << old << B(kKey) << false;
        QTest::newRow("shorter sibling") << settings << parent + "\\Sett" << false;
        QTest::newRow("missing child") << settings << B(kKey) + "\\Sub" << false;
        QTest::newRow("no sections") << B() << B(kKey) << false;
    }
    void keyExists() {
        QFETCH(B, sections);
        QFETCH(B, path);
        QTEST(KeyExists(parse("REGEDIT4\n\n" + sections), str(path)), "exists");
    }

    void ensureKey_data() {
        QTest::addColumn<B>("before");
        QTest::addColumn<B>("path");
        QTest::addColumn<bool>("withSection");
        QTest::addColumn<B>("added");
        const B parents = "[HKEY_USERS\\.DEFAULT]\n\n[HKEY_USERS\\.DEFAULT\\Software]\n\n"
                          "[HKEY_USERS\\.DEFAULT\\Software\\K-W]\n\n"
                          "[HKEY_USERS\\.DEFAULT\\Software\\K-W\\Wirelog]\n\n";
        QTest::newRow("every parent") << B() << B(kKey) << false << parents + kSection + '\n';
        QTest::newRow("parents above a section")
            << kSection << B("HKEY_USERS\\.DEFAULT") << false << B();
        QTest::newRow("a section of its own")
            << kSection << B("HKEY_USERS\\.DEFAULT") << true << B("[HKEY_USERS\\.DEFAULT]\n\n");
        QTest::newRow("there in other case") << kSection << B(kKey).toUpper() << true << B();
        QTest::newRow("below a section")
            << kSection << B(kKey) + "\\Sub" << false << "[" + B(kKey) + "\\Sub]\n\n";
    }
    void ensureKey() {
        QFETCH(B, before);
        QFETCH(B, path);
        QFETCH(bool, withSection);
        QFETCH(B, added);
        RegDocument doc = parse("REGEDIT4\n\n" + before);
        QCOMPARE(EnsureKey(doc, str(path), withSection), !added.isEmpty());
        const B expected = "REGEDIT4\n\n" + (before.isEmpty() ? B() : before + '\n') + added;
        QCOMPARE(text(doc), expected);
        QVERIFY(KeyExists(doc, str(path)));
    }

    void putValue_data() {
        QTest::addColumn<B>("name");
        QTest::addColumn<std::uint32_t>("type");
        QTest::addColumn<B>("data");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<B>("values");
        const B echo5 = "\"Echo\"=dword:00000005\n";
        QTest::newRow("the same again") << B("ECHO") << 4u << Dword(5) << false << echo5;
        QTest::newRow("new value, first spelling kept")
            << B("ECHO") << 4u << Dword(6) << true << B("\"Echo\"=dword:00000006\n");
        QTest::newRow("same bytes, other type")
            << B("Echo") << 3u << Dword(5) << true << B("\"Echo\"=hex:05,00,00,00\n");
        QTest::newRow("new name") << B("Parity") << 3u << B("n") << true
                                  << echo5 + "\"Parity\"=hex:6e\n";
        QTest::newRow("default value") << B() << 1u << B("x", 2) << true << echo5 + "@=\"x\"\n";
    }
    void putValue() {
        QFETCH(B, name);
        QFETCH(std::uint32_t, type);
        QFETCH(B, data);
        RegDocument doc = parse(kHead + "\"Echo\"=dword:00000005\n");
        QVERIFY(!doc.sections.empty());
        QTEST(PutValue(doc.sections[0].values, {str(name), type, str(data)}), "changed");
        QFETCH(B, values);
        QCOMPARE(text(doc), kHead + values + '\n');
    }

    // Rows marked canonical are also what the writer writes.
    void valueForms_data() {
        QTest::addColumn<B>("text");
        QTest::addColumn<std::uint32_t>("type");
        QTest::addColumn<B>("data");
        QTest::addColumn<bool>("canonical");
        const B wrapped = "\"v\"=hex:" + B("11,").repeated(23) + "\\\n  " + B("11,").repeated(6);
        QTest::newRow("dword") << B("\"v\"=dword:0000002a") << 4u << Dword(42) << true;
        QTest::newRow("short dword") << B("\"v\"=hex(4):2a,00") << 4u << B("*\0", 2) << true;
        QTest::newRow("empty binary") << B("\"v\"=hex:") << 3u << B("") << true;
        QTest::newRow("wrapped") << wrapped + "11" << 3u << B(30, '\x11') << true;
        QTest::newRow("unknown type") << B("\"v\"=hex(20000):01") << 0x20000u << B("\1") << true;
        QTest::newRow("text") << B("\"v\"=\"a\\\\b\\\"c\"") << 1u << B("a\\b\"c", 6) << true;
        QTest::newRow("text, no zero") << B("\"v\"=hex(1):61,62") << 1u << B("ab") << true;
        QTest::newRow("text, break") << B("\"v\"=hex(1):61,0a,00") << 1u << B("a\n", 3) << true;
        QTest::newRow("dword, lax") << B("\"v\" = dword:A2b ") << 4u << Dword(0xa2b) << false;
        QTest::newRow("continued, CR LF")
            << B("\"v\"=hex:01,02,\\\r\n\t 03 ,\\\r\n  04\r") << 3u << B("\1\2\3\4") << false;
        QTest::newRow("last wins")
            << B("\"v\"=hex:01\n; c\n\n\"V\"=hex:02") << 3u << B("\2") << false;
    }
    void valueForms() {
        QFETCH(B, text);
        QFETCH(std::uint32_t, type);
        QFETCH(B, data);
        RegDocument doc = parse(kHead + text + '\n');
        QCOMPARE(doc.sections.size(), std::size_t(1));
        const RegValue* value = FindValue(doc.sections[0].values, "v");
        QVERIFY(value);
        QCOMPARE(B::fromStdString(value->data), data);
        QCOMPARE(value->type, type);
        QFETCH(bool, canonical);
        if (!canonical) return;
        const RegDocument made{"REGEDIT4", {{kKey, {{"v", type, str(data)}}}}};
        QCOMPARE(this->text(made), kHead + text + "\n\n");
    }

    // What the writer makes of a text it read: the same document, in its one form.
    void rewrite_data() {
        QTest::addColumn<B>("read");
        QTest::addColumn<B>("written");
        QTest::newRow("header alone") << B("REGEDIT4") << B("REGEDIT4\n\n");
        QTest::newRow("version 5, CR LF, default and quoted names")
            << "Windows Registry Editor Version 5.00\r\n\r\n[" + B(kKey) +
                   "]\r\n@=dword:00000007\r\n\"a\\\"=b\"=hex:01\r\n"
            << "Windows Registry Editor Version 5.00\n\n" + kSection +
                   "@=dword:00000007\n\"a\\\"=b\"=hex:01\n\n";
        QTest::newRow("byte-order mark, comments, blanks, spaces")
            << "\xEF\xBB\xBF REGEDIT4 \n; a note\n\n \t" + kSection.chopped(1) +
                   " \n  \"v\"\t=  hex:AB ,cd\n\n"
            << kHead + "\"v\"=hex:ab,cd\n\n";
        QTest::newRow("a repeated section merges into the first")
            << B("REGEDIT4\n[HKEY_USERS\\A]\n\"x\"=hex:01\n[HKEY_USERS\\B]\n[hkey_users\\a]\n"
                 "\"y\"=hex:02\n")
            << B("REGEDIT4\n\n[HKEY_USERS\\A]\n\"x\"=hex:01\n\"y\"=hex:02\n\n[HKEY_USERS\\B]\n\n");
        QTest::newRow("8-bit text stays text") << kHead + "\"\xe9\"=\"\xe9t\xe9\x81\"\n"
                                               << kHead + "\"\xe9\"=\"\xe9t\xe9\x81\"\n\n";
    }
    void rewrite() {
        QFETCH(B, read);
        QFETCH(B, written);
        QCOMPARE(text(parse(read)), written);
        QCOMPARE(text(parse(written)), written);
    }

    void parseRefuses_data() {
        QTest::addColumn<B>("bytes");
        QTest::newRow("empty") << B();
        QTest::newRow("no header") << kSection;
        QTest::newRow("other header") << B("REGEDIT5\n");
        QTest::newRow("garbage line") << kHead + "hello\n";
        QTest::newRow("unclosed section") << B("REGEDIT4\n[HKEY_USERS\n");
        QTest::newRow("empty section") << B("REGEDIT4\n[]\n");
        QTest::newRow("value before any key") << B("REGEDIT4\n\"v\"=hex:01\n");
        QTest::newRow("no equals sign") << kHead + "\"v\" hex:01\n";
        QTest::newRow("unclosed name") << kHead + "\"v=hex:01\n";
        QTest::newRow("unknown kind") << kHead + "\"v\"=qword:01\n";
        QTest::newRow("text and more") << kHead + "\"v\"=\"a\" b\n";
        QTest::newRow("trailing comma") << kHead + "\"v\"=hex:01,02,\n";
        QTest::newRow("half a byte") << kHead + "\"v\"=hex:01,0\n";
        QTest::newRow("three digits") << kHead + "\"v\"=hex:012\n";
        QTest::newRow("unclosed type") << kHead + "\"v\"=hex(3:01\n";
        QTest::newRow("type of nine digits") << kHead + "\"v\"=hex(100000000):01\n";
        QTest::newRow("continued past the end") << kHead + "\"v\"=hex:01,\\\n";
        QTest::newRow("nine-digit dword") << kHead + "\"v\"=dword:123456789\n";
        QTest::newRow("empty dword") << kHead + "\"v\"=dword:\n";
        QTest::newRow("unknown escape") << kHead + "\"v\"=\"a\\n\"\n";
        QTest::newRow("unknown root") << B("REGEDIT4\n\n[HKEY_NOWHERE\\x]\n");
        QTest::newRow("binary bytes") << kHead + "; \x01\x02\xfe\x03\n";
        QTest::newRow("DEL") << kHead + "; \x7f\n";
        QTest::newRow("NUL byte") << kHead + B("\"v\"=\"a\0b\"\n", 10);
        QTest::newRow("value above the limit")
            << kHead + "\"v\"=hex:" + B("00,").repeated(int(kMaxValueSize)) + "00\n";
    }
    void parseRefuses() {
        QFETCH(B, bytes);
        QVERIFY(!ParseDocument(std::string_view(bytes.constData(), std::size_t(bytes.size()))));
    }
};

// The store on disk: handles, the lock, the atomic write and the move-aside.
class TestRegistryStore : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder, m_store;

    QStringList entries() const { return QDir(m_folder).entryList(QDir::Files, QDir::Name); }
    QStringList aside() const { return entries().filter(".damaged-"); }
    int holdLock() {
        QDir().mkpath(m_folder);
        int fd = open(QFile::encodeName(m_store + ".lock").constData(), O_RDWR | O_CREAT, 0600);
        return fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? fd : -1;
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_folder = m_dir->filePath("cfg");
        m_store = m_folder + "/registry.reg";
        qputenv("WIRELOG_REGISTRY", QFile::encodeName(m_store));
    }

    void storePath() {
        const B home = qgetenv("HOME"), xdg = qgetenv("XDG_CONFIG_HOME");
        auto restore = qScopeGuard([&] {
            qputenv("HOME", home);
            xdg.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", xdg);
        });
        qputenv("HOME", "/h");
        qputenv("XDG_CONFIG_HOME", "/x");
        auto path = [] { return QString::fromStdString(StorePath()); };
        QCOMPARE(path(), m_store);
        qunsetenv("WIRELOG_REGISTRY");
        QCOMPARE(path(), "/x/wirelog/registry.reg");
        qputenv("XDG_CONFIG_HOME", "relative");
        QCOMPARE(path(), "/h/.config/wirelog/registry.reg");
    }

    void openFailsAndCreatesNothing_data() {
        QTest::addColumn<B>("file");
        QTest::addColumn<B>("path");
        QTest::addColumn<S>("expected");
        QTest::newRow("no file") << B() << B(kKey) << S::NotFound;
        QTest::newRow("longer sibling") << kHead.chopped(2) + "Old]\n" << B(kKey) << S::NotFound;
        QTest::newRow("missing child") << kOld << B(kKey) + "\\Sub" << S::NotFound;
        QTest::newRow("empty part") << kOld << B("HKEY_USERS\\\\.DEFAULT") << S::InvalidParameter;
        QTest::newRow("unknown root") << kOld << B("HKEY_NOWHERE\\x") << S::InvalidParameter;
    }
    void openFailsAndCreatesNothing() {
        QFETCH(B, file);
        QFETCH(B, path);
        if (!file.isNull()) WriteFile(m_store, file);
        const QStringList before = entries();
        RegKey key;
        QTEST(OpenKey(path.constData(), key), "expected");
        QVERIFY(!key.IsOpen());
        QCOMPARE(entries(), before);
        QCOMPARE(QFileInfo::exists(m_folder), !file.isNull());
        if (!file.isNull()) QCOMPARE(ReadFile(m_store), file);
    }

    void createMakesKeyAndParents() {
        RegKey key;
        QCOMPARE(CreateKey(kKey, key), S::Ok);
        QCOMPARE(CloseKey(key), S::Ok);
        struct stat st;
        QCOMPARE(stat(QFile::encodeName(m_folder).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0700u);
        QCOMPARE(ReadFile(m_store), B("REGEDIT4\n\n[HKEY_USERS\\.DEFAULT]\n\n"
                                      "[HKEY_USERS\\.DEFAULT\\Software]\n\n"
                                      "[HKEY_USERS\\.DEFAULT\\Software\\K-W]\n\n"
                                      "[HKEY_USERS\\.DEFAULT\\Software\\K-W\\Wirelog]\n\n") +
                                        kSection + '\n');
        QCOMPARE(OpenKey("HKEY_USERS\\.DEFAULT\\Software", key), S::Ok);
        QCOMPARE(OpenKey("hkey_users\\.default\\SOFTWARE\\k-w\\wirelog\\settings", key), S::Ok);
    }

    void query_data() {
        QTest::addColumn<B>("name");
        QTest::addColumn<std::uint32_t>("capacity");
        QTest::addColumn<S>("status");
        QTest::addColumn<std::uint32_t>("type");
        QTest::addColumn<B>("copied");
        QTest::addColumn<std::uint32_t>("size");
        QTest::newRow("exact fit") << B("Settings") << 4u << S::Ok << 3u << B("9600") << 4u;
        QTest::newRow("one short") << B("Settings") << 3u << S::MoreData << 3u << B() << 4u;
        QTest::newRow("other case") << B("sETTINGS") << 19u << S::Ok << 3u << B("9600") << 4u;
        QTest::newRow("dword as bytes") << B("Echo") << 19u << S::Ok << 4u << Dword(1) << 4u;
        QTest::newRow("empty value") << B("Parity") << 0u << S::Ok << 3u << B() << 0u;
        QTest::newRow("missing") << B("Nope") << 4u << S::NotFound << 99u << B() << 4u;
    }
    void query() {
        QFETCH(B, name);
        QFETCH(std::uint32_t, capacity);
        QFETCH(B, copied);
        WriteFile(m_store, kHead + "\"Settings\"=hex:39,36,30,30\n\"Echo\"=dword:00000001\n"
                                   "\"Parity\"=hex:\n");
        RegKey key;
        QCOMPARE(OpenKey(kKey, key), S::Ok);
        B buffer(32, '\xAA');
        std::uint32_t type = 99, size = capacity;
        QTEST(QueryValue(key, name.constData(), &type, buffer.data(), &size), "status");
        QTEST(type, "type");
        QTEST(size, "size");
        QCOMPARE(buffer, copied + B(32 - copied.size(), '\xAA'));
    }

    void roundTripKeepsEveryValueAndKey() {
        const B rest = "\"Settings\"=hex:39,36,30,30,2c,6e,2c,38,2c,31\n@=\"a \\\"b\\\" \\\\c\"\n"
                       "\"Multi\"=hex(7):61,00,62,00,00\n\"Short\"=hex(4):01,00\n"
                       "\"Raw\"=hex(1):61,62\n\"Latin\"=\"\xe9t\xe9\"\n\"Zero\"=hex(0):\n"
                       "\"Big\"=hex(ffffffff):00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,"
                       "11,12,\\\n  13,14,15,16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,"
                       "28,29,2a,2b,\\\n  2c,2d\n\n"
                       "[HKEY_CURRENT_USER\\Software\\K-W\\Wirelog]\n\"X\"=dword:ffffffff\n\n";
        WriteFile(m_store, kOld.chopped(1) + rest);
        RegKey key;
        QCOMPARE(CreateKey(kKey, key), S::Ok);
        QCOMPARE(Set(key, "Echo", TypeDword, Dword(0x12345678)), S::Ok);
        QCOMPARE(CloseKey(key), S::Ok);
        QCOMPARE(ReadFile(m_store), kHead + "\"Echo\"=dword:12345678\n" + rest);
    }

    void damagedFile_data() {
        QTest::addColumn<B>("bytes");
        // Every kind of damage is a format row; here the store's handling of some.
        QTest::newRow("no header") << kSection;
        QTest::newRow("garbage line") << kHead + "hello\n";
        QTest::newRow("NUL byte") << kHead + B("\"v\"=\"a\0b\"\n", 10);
        QTest::newRow("oversize") << kHead + B(";\n").repeated(int(kMaxFileSize / 2));
    }
    void damagedFile() {
        QFETCH(B, bytes);
        WriteFile(m_store, bytes);
        RegKey key;
        QCOMPARE(OpenKey(kKey, key), S::BadFile);
        QCOMPARE(entries(), QStringList{"registry.reg"});
        QCOMPARE(CreateKey(kKey, key), S::Ok);
        QCOMPARE(aside().size(), 1);
        QVERIFY(aside()[0].startsWith("registry.reg.damaged-"));
        QVERIFY(ReadFile(m_folder + '/' + aside()[0]) == bytes);
        QCOMPARE(Set(key, "Echo", TypeDword, Dword(1)), S::Ok);
        QCOMPARE(CloseKey(key), S::Ok);
        QCOMPARE(Read(kKey, "Echo"), Dword(1));
        QCOMPARE(ReadFile(m_store).count("\n["), 5);
    }

    void damagedNameIsNeverReused() {
        const QDateTime now = QDateTime::currentDateTime();
        QStringList decoys;
        for (int s = 0; s < 3; ++s) {
            decoys << "registry.reg.damaged-" + now.addSecs(s).toString("yyyyMMdd-HHmmss");
            WriteFile(m_folder + '/' + decoys.last(), "decoy");
        }
        WriteFile(m_store, "junk");
        RegKey key;
        QCOMPARE(CreateKey(kKey, key), S::Ok);
        const QStringList added = aside().filter(QRegularExpression("-\\d+-2$"));
        QCOMPARE(added.size(), 1);
        QCOMPARE(ReadFile(m_folder + '/' + added[0]), B("junk"));
        for (const QString& decoy : decoys)
            QCOMPARE(ReadFile(m_folder + '/' + decoy), B("decoy"));
    }

    void failedSaveKeepsOldFile_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("read-only folder") << 0;
        QTest::newRow("file size limit") << 1;
        QTest::newRow("parent is a file") << 2;
    }
    void failedSaveKeepsOldFile() {
        QFETCH(int, how);
        WriteFile(m_store, kOld);
        rlimit limit;
        getrlimit(RLIMIT_FSIZE, &limit);
        auto restore = qScopeGuard([&] {
            chmod(QFile::encodeName(m_folder).constData(), 0700);
            setrlimit(RLIMIT_FSIZE, &limit);
            signal(SIGXFSZ, SIG_DFL);
        });
        if (how == 2) { // then the file in the way must stay as it is
            m_store = m_folder = m_dir->filePath("plain");
            WriteFile(m_store, kOld);
            qputenv("WIRELOG_REGISTRY", QFile::encodeName(m_folder + "/registry.reg"));
        }
        RegKey key;
        QCOMPARE(CreateKey(kKey, key), S::Ok);
        QCOMPARE(Set(key, "Big", TypeBinary, B(4096, 'x')), S::Ok);
        if (how == 0) {
            chmod(QFile::encodeName(m_folder).constData(), 0500);
            if (access(QFile::encodeName(m_folder).constData(), W_OK) == 0)
                QSKIP("running as root, whom a read-only folder does not stop; the file size "
                      "limit row fails the write instead");
        } else if (how == 1) {
            signal(SIGXFSZ, SIG_IGN);
            rlimit small = limit;
            small.rlim_cur = 1024;
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        }
        QVERIFY(CloseKey(key) != S::Ok);
        QCOMPARE(ReadFile(m_store), kOld);
        QCOMPARE(entries().filter(".tmp-"), QStringList());
    }

    void handlesSavingInTurnKeepBoth() {
        RegKey a, b, c;
        QCOMPARE(CreateKey(kKey, a), S::Ok);
        QCOMPARE(CreateKey(kKey, b), S::Ok);
        QCOMPARE(CreateKey(kOther, c), S::Ok);
        Set(a, "Echo", TypeDword, Dword(1));
        Set(a, "Handshaking", TypeDword, Dword(2));
        Set(b, "Echo", TypeDword, Dword(7));
        Set(c, "X", TypeDword, Dword(3));
        QCOMPARE(CloseKey(a), S::Ok);
        QCOMPARE(CloseKey(c), S::Ok);
        QCOMPARE(CloseKey(b), S::Ok);
        QCOMPARE(Read(kKey, "Echo"), Dword(7));
        QCOMPARE(Read(kKey, "Handshaking"), Dword(2));
        QCOMPARE(Read(kOther, "X"), Dword(3));
    }

    void saveGivesUpWhileLocked() {
        WriteFile(m_store, kOld);
        const int holder = holdLock();
        QVERIFY(holder >= 0);
        auto release = qScopeGuard([&] { close(holder); });
        RegKey key;
        QCOMPARE(CreateKey(kKey, key), S::Ok);
        Set(key, "Echo", TypeDword, Dword(1));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(CloseKey(key, 100ms), S::Busy);
        QVERIFY2(timer.elapsed() >= 100 && timer.elapsed() < 5000, B::number(timer.elapsed()));
        QCOMPARE(ReadFile(m_store), kOld);
    }

    void saveWaitsForLock() {
        const int holder = holdLock(), watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        QVERIFY(holder >= 0);
        QVERIFY(inotify_add_watch(watch, QFile::encodeName(m_folder).constData(), IN_OPEN) >= 0);
        RegKey key;
        QCOMPARE(CreateKey(kKey, key), S::Ok);
        Set(key, "Echo", TypeDword, Dword(1));
        std::atomic<bool> done = false;
        RegStatus status = S::IoError;
        std::thread saver([&] {
            status = CloseKey(key, 10s);
            done = true;
        });
        bool opened = false; // the saver opened the lock file: it is at the lock now
        alignas(inotify_event) char events[4096];
        for (pollfd p{watch, POLLIN, 0}; !opened && poll(&p, 1, 5000) > 0;) {
            for (ssize_t n = read(watch, events, sizeof events), i = 0; i < n;) {
                auto* event = reinterpret_cast<inotify_event*>(events + i);
                opened = opened || (event->len && B(event->name) == "registry.reg.lock");
                i += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        const bool doneWhileLocked = done;
        close(holder);
        saver.join();
        close(watch);
        QVERIFY(opened);
        QVERIFY(!doneWhileLocked);
        QCOMPARE(status, S::Ok);
        QCOMPARE(Read(kKey, "Echo"), Dword(1));
    }

    void handleRules() {
        RegKey closed, key;
        std::uint32_t n = 0, size = 4;
        QCOMPARE(QueryValue(closed, "Echo", nullptr, &n, &size), S::InvalidHandle);
        QCOMPARE(Set(closed, "Echo", TypeDword, Dword(1)), S::InvalidHandle);
        QCOMPARE(CloseKey(closed), S::InvalidHandle);
        QCOMPARE(CreateKey(kKey, key), S::Ok);
        QCOMPARE(Set(key, "a\nb", TypeDword, Dword(1)), S::InvalidParameter);
        QCOMPARE(SetValue(key, "Big", TypeBinary, &n, kMaxValueSize + 1), S::InvalidParameter);
        QCOMPARE(Set(key, "Echo", TypeDword, Dword(5)), S::Ok);
        closed = std::move(key); // the last owner saves when it lets go
        QVERIFY(!key.IsOpen());
        closed = RegKey();
        QCOMPARE(Read(kKey, "Echo"), Dword(5));
        QCOMPARE(Read(kKey, "a\nb"), B("<no such key or value>"));

        auto inode = [this] {
            struct stat st {};
            stat(QFile::encodeName(m_store).constData(), &st);
            return st.st_ino;
        };
        const auto before = inode();
        for (std::uint32_t echo : {5, 6}) {
            QCOMPARE(CreateKey(kKey, key), S::Ok);
            QCOMPARE(Set(key, "ECHO", TypeDword, Dword(echo)), S::Ok);
            QCOMPARE(CloseKey(key), S::Ok);
            QCOMPARE(inode() == before, echo == 5); // a save that changes nothing writes nothing
        }
        QVERIFY(ReadFile(m_store).contains("\"Echo\"=dword:00000006\n")); // first spelling kept
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    TestRegistryFormat format;
    TestRegistryStore store;
    const int failedFormat = QTest::qExec(&format, argc, argv);
    return failedFormat | QTest::qExec(&store, argc, argv);
}
#include "tst_registrystore.moc"
