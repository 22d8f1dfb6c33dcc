// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "open_dialog.h"

#include <QEventLoop>
#include <QString>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <span>

namespace brindlecap::testing {

// Runs the real event loop, timers and all, until `done` holds or the time
// is up; says whether it holds. (QTest::qWait sleeps between event rounds and
// would starve a 1 ms timer.)
inline bool runEventsUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(2);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return done();
}

inline void runEventsFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// The picker text of a dialog in which these names were chosen in `folder`,
// as the open-file dialog's own wrapper makes it.
inline QString pickedIn(const QString& folder, const QStringList& names)
{
    QStringList files;
    for (const auto& name : names)
        files << folder + u'/' + name;
    return Module1::pickerTextFor(files);
}

// Runs one Qt Test object; each group's file gives one runner below.
template <typename Test> int runTestObject(int argc, char** argv)
{
    Test test;
    return QTest::qExec(&test, argc, argv);
}

using TestRunner = int (*)(int argc, char** argv);
struct TestGroup
{
    const char* name;
    TestRunner run;
};

// Runs the group of window tests named by the first argument in a real
// QApplication; the rest of the arguments go to Qt Test.
int runTestGroup(int argc, char** argv, std::span<const TestGroup> groups);

} // namespace brindlecap::testing
