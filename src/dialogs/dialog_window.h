// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

namespace brindlecap {

// A dialog window of the program, built from its layout when it is shown and
// destroyed when it closes, so each showing starts afresh. It has no parent:
// the main window disables itself while a dialog is up, and that would
// disable a child window too.
class DialogWindow : public QDialog
{
    Q_OBJECT

signals:
    // Form_Unload has run; the window is on its way out.
    void unloaded();

protected:
    DialogWindow(QWidget& mainWindow, Qt::WindowFlags flags);

    QWidget& mainWindow() const { return m_mainWindow; }
    // Centres the window on the screen by its outer size, judged by the frame
    // the window system gave the main window.
    void centreOnScreen();

    virtual void Form_Unload() = 0;

    // Every way of closing (a button, the close box, the system's close
    // command) comes here once; a request made while closing has no effect.
    void closeEvent(QCloseEvent* event) override;
    // Esc lands here, and does nothing: no button is a cancel button, and
    // the keyboard reaches the buttons only by focus.
    void reject() override {}

private:
    QWidget& m_mainWindow;
};

} // namespace brindlecap
