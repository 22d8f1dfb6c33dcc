// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dialog_window.h"

#include <QPointer>

#include <functional>

namespace brindlecap {

// The one application-wide instance of a dialog: kept once created, while its
// window comes and goes. Showing loads a window if none is loaded; closing
// the window unloads it.
class DialogInstance final
{
public:
    // loadWindow builds a window from the layout and runs its Form_Load.
    explicit DialogInstance(std::function<DialogWindow*()> loadWindow);
    ~DialogInstance();
    DialogInstance(const DialogInstance&) = delete;
    DialogInstance& operator=(const DialogInstance&) = delete;

    // Loads the window if it is not loaded, then shows it modeless.
    void Show();
    // The loaded window; null while unloaded.
    DialogWindow* window() const { return m_window; }

private:
    const std::function<DialogWindow*()> m_loadWindow;
    QPointer<DialogWindow> m_window;
};

} // namespace brindlecap
