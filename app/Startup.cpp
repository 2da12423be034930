#include "app/Startup.h"

#include "app/ZelPress.h"
#include "core/CommandLine.h"
#include "core/Logging.h"

#include <memory>
#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QMessageBox>

namespace {

// --help and --version are answered before any window system is needed, so they work in a terminal
// without a desktop (over ssh, in a script); nothing else is done on such a run.
void answerHelpOrVersion(int& argc, char** argv) {
    bool asked = false;
    for (int i = 1; i < argc && !asked; ++i) {
        const QLatin1String argument(argv[i]);
        asked = argument == QLatin1String("--help") || argument == QLatin1String("-h") ||
                argument == QLatin1String("-?") || argument == QLatin1String("--help-all") ||
                argument == QLatin1String("--version") || argument == QLatin1String("-v");
    }
    if (!asked)
        return;
    QCoreApplication application(argc, argv);
    application.setApplicationVersion(QStringLiteral(ZELPRESS_VERSION));
    QCommandLineParser parser;
    CommandLine::addOptions(parser);
    // Options of the window system (-platform, -style ...) are not known here: only the two answers are.
    parser.parse(application.arguments());
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion(); // exits
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")))
        parser.showHelp(); // exits
}

} // namespace

int runZelPress(int& argc, char** argv) {
    answerHelpOrVersion(argc, argv);
    QApplication application(argc, argv);
    application.setApplicationVersion(QStringLiteral(ZELPRESS_VERSION));

    // Only --help and --version end the program here; the rest is read where it is used.
    QCommandLineParser parser;
    CommandLine::addOptions(parser);
    parser.process(application);

    const QString directory = Logging::logDirectory();
    if (directory.isEmpty()) {
        QMessageBox box(QMessageBox::Critical, QObject::tr("Error"),
                        QObject::tr("Failed to create log directory."), QMessageBox::Ok);
        box.exec();
    }
    // Without the directory the run has no log file; messages keep Qt's default output.
    if (!directory.isEmpty()) {
        const QString name = Logging::logFileName(QDateTime::currentDateTime());
        if (Logging::openLogFile(directory + QLatin1Char('/') + name))
            qInstallMessageHandler(Logging::messageHandler);
    }

    int exitCode = 0;
    {
        auto window = std::make_unique<ZelPress>();
        window->show();
        exitCode = application.exec();
    }
    qInstallMessageHandler(nullptr);
    Logging::closeLogFile();
    return exitCode;
}
