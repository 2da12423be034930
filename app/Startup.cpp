#include "app/Startup.h"

#include "app/CommandLine.h"
#include "app/Logging.h"
#include "app/ZelPress.h"

#include <memory>
#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QMessageBox>

int runZelPress(int& argc, char** argv) {
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
