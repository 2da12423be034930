#include "core/CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>

namespace CommandLine {
namespace {

QCommandLineOption emulatedPressOption() {
    return QCommandLineOption(
        QStringLiteral("emulated-press"),
        QCoreApplication::translate(
            "CommandLine", "Use the built-in emulated press instead of searching the serial ports."));
}

} // namespace

void addOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        QCoreApplication::translate("CommandLine", "Records force against position from a seating press."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(emulatedPressOption());
}

bool emulatedPressRequested(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOption(emulatedPressOption());
    // Unknown options (a test runner's, say) are no reason to ignore this one.
    parser.parse(arguments);
    return parser.isSet(emulatedPressOption());
}

} // namespace CommandLine
