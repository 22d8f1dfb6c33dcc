// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui_test_support.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <vector>

namespace brindlecap::testing {

int runTestGroup(int argc, char** argv, std::span<const TestGroup> groups)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s GROUP [Qt Test options]\n", argv[0]);
        return 2;
    }
    QApplication application(argc, argv);
    std::vector<char*> rest{argv[0]};
    rest.insert(rest.end(), argv + 2, argv + argc);
    for (const auto& group : groups)
        if (std::strcmp(argv[1], group.name) == 0)
            return group.run(static_cast<int>(rest.size()), rest.data());
    std::fprintf(stderr, "%s: no test group '%s'\n", argv[0], argv[1]);
    return 2;
}

} // namespace brindlecap::testing
