// SPDX-License-Identifier: GPL-3.0-or-later
#include "Form1.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

// Qt aborts with a long message when it finds no display; say it in one line.
bool hasDisplay(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0)
            return true;
    return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// --help and --version answer as every program's do, without a window.
bool answeredAlone(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs("Usage: brindlecap\n"
                       "Opens the Brindlecap window, which copies files off hard drives and off\n"
                       "scratched or failing CDs and DVDs, keeping every sector the disc still\n"
                       "gives. The window takes no arguments: the files, the folder to copy into\n"
                       "and the buffer size are chosen in it (besides Qt's own options, such as\n"
                       "-platform).\n"
                       "To copy from a terminal or a script, see brindlecap-cli --help.\n\n"
                       "  -h, --help     show this help and exit\n"
                       "      --version  show the version and exit\n",
                       stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs("brindlecap " BRINDLECAP_VERSION "\n", stdout);
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (answeredAlone(argc, argv))
        return 0;
    if (!hasDisplay(argc, argv)) {
        std::fputs("brindlecap: no display to open a window on (DISPLAY is not set); without a "
                   "desktop, copy with brindlecap-cli (see brindlecap-cli --help); on a desktop, "
                   "start Brindlecap from its menu or type brindlecap in a terminal there\n",
                   stderr);
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brindlecap"));
    QApplication::setApplicationVersion(QStringLiteral(BRINDLECAP_VERSION));
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.brindlecap"));
    brindlecap::Form1 window;
    window.show();
    return QApplication::exec();
}
