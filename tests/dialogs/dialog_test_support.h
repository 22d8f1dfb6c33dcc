// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "form1_window_fixture.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QPointer>
#include <QStringList>
#include <QWidget>

namespace brindlecap::testing {

// Writes down, in order, what happens to the main window and to the dialogs:
// shown, hidden, enabled, disabled, activated.
class WindowEventLog final : public QObject
{
public:
    explicit WindowEventLog(const QWidget& mainWindow) : m_mainWindow(mainWindow)
    {
        qApp->installEventFilter(this);
    }
    ~WindowEventLog() override { qApp->removeEventFilter(this); }

    QStringList entries;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const auto* window = qobject_cast<QWidget*>(watched);
        if (window == nullptr || !window->isWindow())
            return false;
        const bool isDialog = window->windowTitle().startsWith(QStringLiteral("Brindlecap - "));
        if (window != &m_mainWindow && !isDialog)
            return false; // the menus are windows too
        const QString who = isDialog ? QStringLiteral("dialog ") : QStringLiteral("main ");
        switch (event->type()) {
        case QEvent::Show:
            entries << who + QStringLiteral("shown");
            break;
        case QEvent::Hide:
            entries << who + QStringLiteral("hidden");
            break;
        case QEvent::EnabledChange:
            entries << who + (window->isEnabled() ? QStringLiteral("enabled")
                                                  : QStringLiteral("disabled"));
            break;
        case QEvent::WindowActivate:
            entries << who + QStringLiteral("activated");
            break;
        default:
            break;
        }
        return false;
    }

private:
    const QWidget& m_mainWindow;
};

// A main window whose process works in the scratch folder, which holds the
// subfolders "alpha" and "out" besides the sources.
class DialogFixture : public WindowFixture
{
public:
    DialogFixture() : m_previousDirectory(QDir::currentPath())
    {
        std::filesystem::create_directory(scratch.path() / "alpha");
        QDir::setCurrent(folder());
    }
    ~DialogFixture() { QDir::setCurrent(m_previousDirectory); }
    DialogFixture(const DialogFixture&) = delete;
    DialogFixture& operator=(const DialogFixture&) = delete;

    // Destroys what was left to be destroyed once the event loop comes round.
    static void finishClosing()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    bool mainWindowUsable() const { return window->isVisible() && window->isEnabled(); }

private:
    QString m_previousDirectory;
};

} // namespace brindlecap::testing
