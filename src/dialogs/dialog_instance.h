// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace brindlecap {

// A dialog window of the program. The instance lives on; its window and
// controls are built from the layout when it is shown and destroyed when it
// closes, so each showing starts afresh.
class DialogInstance : public QObject
{
    Q_OBJECT

public:
    ~DialogInstance() override;

    // Loads the window if it is not loaded (running Form_Load), then shows
    // it modeless.
    void Show();
    // Closes the window: runs Form_Unload and destroys window and controls.
    // Has no effect while unloaded or already closing.
    void Unload();
    // The loaded window; null while unloaded.
    QWidget* window() const { return m_window; }

protected:
    DialogInstance(QWidget& mainWindow, Qt::WindowFlags flags);

    QWidget& mainWindow() const { return m_mainWindow; }

    // Builds the controls of a new window from the layout.
    virtual void setupControls(QWidget& window) = 0;
    // The controls are about to go with the window.
    virtual void releaseControls() = 0;
    virtual void Form_Load() = 0;
    virtual void Form_Unload() = 0;

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& m_mainWindow;
    const Qt::WindowFlags m_flags;
    QPointer<QWidget> m_window;
    bool m_closing = false;
};

// Centres a dialog on the screen by its outer size, judged by the frame the
// window system gave the main window.
void centreDialog(QWidget& dialog, const QWidget& mainWindow);

} // namespace brindlecap
