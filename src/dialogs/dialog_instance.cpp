// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialog_instance.h"

namespace brindlecap {

DialogInstance::DialogInstance(std::function<DialogWindow*()> loadWindow)
    : m_loadWindow(std::move(loadWindow))
{}

DialogInstance::~DialogInstance()
{
    // The window has no parent to take it down.
    delete m_window;
}

void DialogInstance::Show()
{
    if (m_window == nullptr) {
        m_window = m_loadWindow();
        // A closing window lingers until the event loop deletes it; the next
        // showing must not find it.
        QObject::connect(
            m_window, &DialogWindow::unloaded, m_window, [this] { m_window = nullptr; },
            Qt::SingleShotConnection);
    }
    m_window->show();
}

} // namespace brindlecap
