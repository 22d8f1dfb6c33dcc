// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialog_window.h"

#include "application_icon.h"
#include "window_geometry.h"

#include <QCloseEvent>

namespace brindlecap {

DialogWindow::DialogWindow(QWidget& mainWindow, Qt::WindowFlags flags)
    : QDialog(nullptr, flags), m_mainWindow(mainWindow)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(applicationIcon());
}

void DialogWindow::centreOnScreen()
{
    const auto perPixel = twipsPerPixel(*this);
    const QSizeF frame(m_mainWindow.frameGeometry().size() - m_mainWindow.geometry().size());
    brindlecap::centreOnScreen(*this, (QSizeF(size()) + frame) * perPixel);
}

void DialogWindow::closeEvent(QCloseEvent* event)
{
    // Not QDialog's own handling, which would go through reject().
    Form_Unload();
    event->accept();
    emit unloaded();
}

} // namespace brindlecap
