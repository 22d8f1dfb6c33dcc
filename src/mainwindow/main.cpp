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

} // namespace

int main(int argc, char** argv)
{
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
