// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui_test_support.h"

namespace brindlecap::testing {
int runForm1LayoutTest(int argc, char** argv);
int runForm1JobTest(int argc, char** argv);
int runForm1QueueTest(int argc, char** argv);
int runForm1MarksTest(int argc, char** argv);
int runForm1WaitsTest(int argc, char** argv);
int runForm1CentringTest(int argc, char** argv);
} // namespace brindlecap::testing

int main(int argc, char** argv)
{
    using namespace brindlecap::testing;
    const TestGroup groups[] = {
        {"layout", runForm1LayoutTest}, {"job", runForm1JobTest},
        {"queue", runForm1QueueTest},   {"marks", runForm1MarksTest},
        {"waits", runForm1WaitsTest},   {"centring", runForm1CentringTest},
    };
    return runTestGroup(argc, argv, groups);
}
