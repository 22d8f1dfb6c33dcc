// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui_test_support.h"

namespace brindlecap::testing {
int runForm2Test(int argc, char** argv);
int runForm3Test(int argc, char** argv);
} // namespace brindlecap::testing

int main(int argc, char** argv)
{
    using namespace brindlecap::testing;
    const TestGroup groups[] = {
        {"destination", runForm2Test},
        {"about", runForm3Test},
    };
    return runTestGroup(argc, argv, groups);
}
