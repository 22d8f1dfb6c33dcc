#include "gui_test_support.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <vector>

// Runs one group of window tests, named by the first argument, in a real
// QApplication; the rest of the arguments go to Qt Test.
int main(int argc, char** argv)
{
    using namespace brindlecap::testing;
    const std::pair<const char*, TestRunner> groups[] = {
        {"layout", runForm1LayoutTest},
        {"job", runForm1JobTest},
        {"queue", runForm1QueueTest},
        {"centring", runForm1CentringTest},
    };
    if (argc < 2) {
        std::fputs("usage: mainwindow_tests GROUP [Qt Test options]\n", stderr);
        return 2;
    }
    QApplication application(argc, argv);
    std::vector<char*> rest{argv[0]};
    rest.insert(rest.end(), argv + 2, argv + argc);
    for (const auto& [name, run] : groups)
        if (std::strcmp(argv[1], name) == 0)
            return run(static_cast<int>(rest.size()), rest.data());
    std::fprintf(stderr, "mainwindow_tests: no test group '%s'\n", argv[1]);
    return 2;
}
