#pragma once

// The application's command line, read before the window system is reached so that --help,
// --version and a wrong argument answer without a display.

#include <optional>

namespace CommandLine {

// The exit code when the run ends with the command line (help and version give 0, an unknown
// option or any file argument prints the usage to stderr and gives 2); none when the window
// should open. Qt's own options (-platform, -style, ...) are accepted and left to QApplication.
std::optional<int> handle(int argc, char** argv);

// Puts /dev/null on each standard descriptor the application was started without, before
// anything opens a file: otherwise the next file or socket (the display connection) takes that
// number, and every warning printed lands in it.
void openStandardStreams();

} // namespace CommandLine
