#include "app/CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The options QGuiApplication, QApplication and the X11 platform take for themselves.
void addQtOptions(QCommandLineParser& parser) {
    const char* const withValue[] = {
        "platform",     "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
        "qwindowicon",  "qwindowtitle",       "session",       "style",  "stylesheet",
        "display",      "geometry",           "title",         "icon",   "name",
        "qmljsdebugger"};
    const char* const flags[] = {"reverse", "widgetcount", "testability",
                                 "sync",    "nograb",      "dograb"};
    for (const char* name : withValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : flags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

void print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

} // namespace

std::optional<int> CommandLine::handle(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral("Manage the music on an iPod."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    addQtOptions(parser);

    const bool parsed = parser.parse(arguments);
    QString error = parser.errorText();
    if (parsed && !parser.positionalArguments().isEmpty())
        error =
            QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first());
    const bool helpAll = parsed && parser.isSet(QStringLiteral("help-all"));
    if (error.isEmpty() && !parser.isSet(help) && !helpAll && !parser.isSet(version))
        return std::nullopt;

    // The help text names the program from the application's arguments; no window is made.
    QCoreApplication core(argc, argv);
    if (!error.isEmpty()) {
        print(stderr, QCoreApplication::applicationName().toLower() + QStringLiteral(": ") + error +
                          QStringLiteral("\n\n") + parser.helpText());
        return 2;
    }
    if (helpAll)
        parser.process(core); // prints Qt's own options too, and exits with 0
    if (parser.isSet(help))
        print(stdout, parser.helpText());
    else
        print(stdout, QCoreApplication::applicationName() + QLatin1Char(' ') +
                          QCoreApplication::applicationVersion() + QLatin1Char('\n'));
    return 0;
}

void CommandLine::openStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        // The lowest free number: this one, as those below it are open by now.
        const int null = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) {
            ::dup2(null, fd);
            ::close(null);
        }
    }
}
