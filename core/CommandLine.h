#pragma once

#include <QStringList>

class QCommandLineParser;

// The application's command-line options.
namespace CommandLine {

// Adds --help, --version and --emulated-press to a parser.
void addOptions(QCommandLineParser& parser);
// True when the arguments (program name first) ask for the emulated press.
bool emulatedPressRequested(const QStringList& arguments);

} // namespace CommandLine
