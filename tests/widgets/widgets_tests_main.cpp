// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui_test_support.h"

namespace brindlecap::testing {
int runDirectoryListTest(int argc, char** argv);
} // namespace brindlecap::testing

int main(int argc, char** argv)
{
    using namespace brindlecap::testing;
    const TestGroup groups[] = {{"folders", runDirectoryListTest}};
    return runTestGroup(argc, argv, groups);
}
