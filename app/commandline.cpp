#include "app/commandline.h"

#include "app/buildinfo.h"
#include "comm/linesettings.h"
#include "comm/netaddress.h"

#include <QCommandLineParser>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <utility>

namespace app {

namespace {

constexpr int kMaxPort = 99;

// The --handshaking words and the control's values for them.
constexpr std::array<std::pair<const char*, std::int32_t>, 4> kHandshaking{{
    {"none", comm::HandshakeNone},
    {"xonxoff", comm::HandshakeXonXoff},
    {"rtscts", comm::HandshakeRts},
    {"both", comm::HandshakeXonRts},
}};

struct Options {
    QCommandLineOption help{{"h", "help"}, "Show this help and exit."};
    QCommandLineOption version{{"v", "version"}, "Show the version and exit."};
    QCommandLineOption settings{
        "settings",
        "Line settings baud,parity,data,stop, e.g. 115200,n,8,1: any baud rate from 1 to "
        "4000000, parity n o e m s, data bits 5 to 8, stop bits 1, 1.5 (with 5 data bits) or 2.",
        "settings"};
    QCommandLineOption handshaking{"handshaking", "Flow control: none, xonxoff, rtscts or both.",
                                   "mode"};
    QCommandLineOption open{"open",
                            "Open the port once the window is up, as Communication > Port Open "
                            "does."};
    QCommandLineOption dump{"dump",
                            "Record everything received into <file>, as File > Open Dump File "
                            "does. An existing file is added to.",
                            "file"};
    QCommandLineOption echo{"echo", "Show typed characters on the screen (local echo)."};
    QCommandLineOption hex{"hex", "Show received data as hexadecimal bytes."};
    QCommandLineOption terminal{"terminal", "Show the terminal-emulation view (View > Terminal Emulation)."};

    void addTo(QCommandLineParser& parser) const {
        for (const QCommandLineOption* o :
             {&help, &version, &settings, &handshaking, &open, &dump, &echo, &hex, &terminal})
            parser.addOption(*o);
    }
};

constexpr const char* kDescription =
    "Wirelog, a serial-port terminal.\n"
    "\n"
    "What the command line sets is in effect for this run and, like any change made\n"
    "in the window, is saved with the other settings when the window closes.";

constexpr const char* kTrailer =
    "\n"
    "PORT is COM1 to COM99, a number from 1 to 99, a device path such as /dev/ttyUSB0 or\n"
    "/dev/serial/by-id/..., or a port on another machine: rfc2217://HOST:PORT or\n"
    "tcp://HOST:PORT (IPv6 in brackets). A path or address is used as the COM number the\n"
    "port map gives it; one the map does not know gets the first free one of COM97 to COM99\n"
    "for this run only.\n"
    "The port map folder is $WIRELOG_PORTS, else $XDG_CONFIG_HOME/wirelog/ports\n"
    "(~/.config/wirelog/ports). See wirelog(1).\n"
    "\n"
    "Examples:\n"
    "  wirelog /dev/ttyUSB0 --settings 115200,n,8,1 --open\n"
    "  wirelog COM3 --open --dump session.dmp\n";

CommandLine Fail(std::string text) {
    CommandLine c;
    c.action = CommandLine::Action::Fail;
    c.text = "wirelog: " + std::move(text);
    return c;
}

std::string Quoted(const QString& value) {
    return "\"" + value.toStdString() + "\"";
}

std::string HelpText(const QCommandLineParser& parser) {
    // Qt names the program after an application object, and there is none yet: the usage
    // line is written here.
    const QString text = parser.helpText();
    return "Usage: wirelog [options] [PORT]" +
           text.mid(text.indexOf(QLatin1Char('\n'))).toStdString() + kTrailer;
}

// COMn or n, 1..99; an address (rfc2217://, tcp://), checked here; a path when it holds a slash.
bool ReadPort(const QString& value, CommandLine& c, std::string& error) {
    if (comm::IsNetworkName(value.toStdString())) {
        comm::NetAddress address;
        const comm::Status st = comm::ParseNetAddress(value.toStdString(), address);
        if (!st) {
            error = "port " + Quoted(value) + " is not valid: " + st.description;
            return false;
        }
        c.devicePath = address.text();
        return true;
    }
    static const QRegularExpression number(QStringLiteral("^(?:COM)?([0-9]+)$"),
                                           QRegularExpression::CaseInsensitiveOption);
    if (value.contains(QLatin1Char('/'))) {
        c.devicePath = QFile::encodeName(value).toStdString();
        return true;
    }
    if (const auto m = number.match(value); m.hasMatch()) {
        bool ok = false;
        const int n = m.captured(1).toInt(&ok);
        if (ok && n >= 1 && n <= kMaxPort) {
            c.port = n;
            return true;
        }
        error = "port " + Quoted(value) + " is not valid: the COM number must be from 1 to 99.";
        return false;
    }
    error = "port " + Quoted(value) +
            " is not valid: give COM1 to COM99, a number from 1 to 99, or a device path such "
            "as /dev/ttyUSB0.";
    return false;
}

bool ReadSettings(const QString& value, CommandLine& c, std::string& error) {
    comm::LineSettings s;
    const comm::Status status = comm::ParseSettings(value.toStdString(), s);
    if (!status) {
        error = "--settings: " + status.description;
        return false;
    }
    c.settings = comm::FormatSettings(s);
    return true;
}

bool ReadHandshaking(const QString& value, CommandLine& c, std::string& error) {
    for (const auto& [word, code] : kHandshaking) {
        if (value == QLatin1String(word)) {
            c.handshaking = code;
            return true;
        }
    }
    error = "--handshaking " + Quoted(value) +
            " is not valid: it must be none, xonxoff, rtscts or both.";
    return false;
}

// The port and the options that carry a value, into `c`; false with `error` on the first
// one that is refused.
bool ReadValues(const QCommandLineParser& parser, const Options& o, CommandLine& c,
                std::string& error) {
    const QStringList ports = parser.positionalArguments();
    if (ports.size() > 1) {
        error = "only one port can be given, not " + Quoted(ports[0]) + " and " +
                Quoted(ports[1]) + ".";
        return false;
    }
    if (ports.size() == 1 && !ReadPort(ports[0], c, error)) return false;
    if (parser.isSet(o.settings) && !ReadSettings(parser.value(o.settings), c, error))
        return false;
    if (parser.isSet(o.handshaking) && !ReadHandshaking(parser.value(o.handshaking), c, error))
        return false;
    if (parser.isSet(o.dump)) {
        if (parser.value(o.dump).isEmpty()) {
            error = "--dump needs a file name.";
            return false;
        }
        c.dumpFile = QFile::encodeName(parser.value(o.dump)).toStdString();
    }
    return true;
}

// The options every Qt program takes (QApplication reads them itself): they are left to Qt,
// so that -style, -platform or -display work here as anywhere. Single dash only; `value`:
// the next argument is the option's value.
struct QtOption {
    const char* name;
    bool value;
};
constexpr QtOption kQtOptions[] = {
    {"platform", true},  {"platformpluginpath", true}, {"platformtheme", true},
    {"plugin", true},    {"qwindowgeometry", true},    {"geometry", true},
    {"qwindowtitle", true}, {"title", true},           {"qwindowicon", true},
    {"icon", true},      {"reverse", false},           {"session", true},
    {"style", true},     {"stylesheet", true},         {"widgetcount", false},
    {"display", true},   {"name", true},               {"nograb", false},
    {"dograb", false},   {"sync", false},              {"visual", true},
};

QStringList WithoutQtOptions(const QStringList& arguments) {
    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        const bool single = i > 0 && a.startsWith('-') && !a.startsWith(QStringLiteral("--"));
        const QString name = single ? a.mid(1).section('=', 0, 0) : QString();
        const auto* o = std::find_if(std::begin(kQtOptions), std::end(kQtOptions),
                                     [&](const QtOption& q) { return name == QLatin1String(q.name); });
        if (!single || o == std::end(kQtOptions))
            kept << a;
        else if (o->value && !a.contains('=')) // -style fusion, not -style=fusion
            ++i;
    }
    return kept;
}

} // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const Options o;
    o.addTo(parser);
    parser.addPositionalArgument(QStringLiteral("PORT"),
                                 QStringLiteral("The port: COMn, a number or a device path."),
                                 QStringLiteral("[PORT]"));

    if (!parser.parse(WithoutQtOptions(arguments)))
        return Fail(parser.errorText().toStdString() + " Run wirelog --help for the options.");

    CommandLine c;
    if (parser.isSet(o.help)) {
        c.action = CommandLine::Action::Help;
        c.text = HelpText(parser);
        return c;
    }
    if (parser.isSet(o.version)) {
        c.action = CommandLine::Action::Version;
        c.text = std::string("Wirelog ") + WIRELOG_VERSION + "\n";
        return c;
    }

    // An option given twice would leave one of its values silently unused.
    const QStringList names = parser.optionNames();
    for (const QString& name : names)
        if (names.count(name) > 1)
            return Fail("--" + name.toStdString() + " is given more than once.");

    std::string error;
    if (!ReadValues(parser, o, c, error)) return Fail(error);
    c.open = parser.isSet(o.open);
    c.echo = parser.isSet(o.echo);
    c.hex = parser.isSet(o.hex);
    c.terminal = parser.isSet(o.terminal);
    // The hexadecimal view needs the byte screen: the pair would quietly lose one of them.
    if (c.terminal && c.hex)
        return Fail("--terminal and --hex cannot be used together: the hexadecimal view needs "
                    "the log view.");
    // Local echo turns the hexadecimal view off, so the pair would quietly lose --hex.
    if (c.echo && c.hex)
        return Fail("--echo and --hex cannot be used together: local echo turns the "
                    "hexadecimal view off.");
    return c;
}

} // namespace app
