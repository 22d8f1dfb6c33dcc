// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialog_instance.h"

#include "application_icon.h"
#include "window_geometry.h"

#include <QEvent>

namespace brindlecap {

DialogInstance::DialogInstance(QWidget& mainWindow, Qt::WindowFlags flags)
    : m_mainWindow(mainWindow), m_flags(flags)
{}

DialogInstance::~DialogInstance()
{
    // The window has no parent to take it down.
    delete m_window;
}

void DialogInstance::Show()
{
    if (m_window == nullptr) {
        // No parent: disabling the main window would disable it too.
        m_window = new QWidget(nullptr, m_flags);
        m_window->setWindowIcon(applicationIcon());
        setupControls(*m_window);
        m_window->installEventFilter(this);
        Form_Load();
    }
    m_window->show();
}

void DialogInstance::Unload()
{
    if (m_window == nullptr || m_closing)
        return;
    m_closing = true;
    Form_Unload();
    releaseControls();
    QWidget* const closing = m_window;
    m_window = nullptr;
    closing->removeEventFilter(this);
    closing->hide();
    // The window may be in the middle of handling the click or close that
    // brought us here.
    closing->deleteLater();
    m_closing = false;
}

bool DialogInstance::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window && event->type() == QEvent::Close)
        Unload();
    return QObject::eventFilter(watched, event);
}

void centreDialog(QWidget& dialog, const QWidget& mainWindow)
{
    const auto perPixel = twipsPerPixel(dialog);
    const QSizeF frame(mainWindow.frameGeometry().size() - mainWindow.geometry().size());
    centreOnScreen(dialog, (QSizeF(dialog.size()) + frame) * perPixel);
}

} // namespace brindlecap
