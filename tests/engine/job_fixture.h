// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "faulty_file_access.h"
#include "headless_job.h"
#include "locale_number_format.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

namespace brindlecap::testing {

// A job over real files in a scratch folder, with the window's parts as
// plain data and numbers in en_US.
class JobFixture : public ::testing::Test
{
protected:
    JobFixture() { std::filesystem::create_directory(scratch.path() / "out"); }

    std::string source(const std::string& name, std::size_t size, std::uint8_t seed = 1)
    {
        const auto path = scratch / name;
        writeFile(path, patternBytes(size, seed));
        return path;
    }
    std::string destination(const std::string& name) const { return scratch / ("out/" + name); }

    void queueAll(std::initializer_list<std::string> paths)
    {
        for (const auto& path : paths)
            queue.append(path);
    }

    // What the destination dialog's "Ok" leaves behind, then Copy.
    void startCopy(int bufferOption = 3)
    {
        options.select(bufferOption);
        fields.setText(Field::lblDir, (scratch.path() / "out").string());
        controls.setEnabled(Control::cmdCopy, true);
        job.cmdCopy_Click();
    }

    // Ticks until the job ends; gives the number of ticks it took.
    int runToEnd(int limit = 100000)
    {
        int ticks = 0;
        while (controls.isEnabled(Control::Timer1) && ticks < limit) {
            job.Timer1_Timer();
            ++ticks;
        }
        EXPECT_FALSE(controls.isEnabled(Control::Timer1)) << "the job did not end";
        return ticks;
    }

    std::string text(Field field) const { return fields.text(field); }

    ScratchDir scratch;
    FaultyFileAccess files;
    LocaleNumberFormat numbers{QLocale(QLocale::English, QLocale::UnitedStates)};
    HeadlessJob headless{files, numbers};
    FieldTable& fields = headless.fields();
    PathList& queue = headless.queue();
    OptionGroup& options = headless.options();
    ControlFlags& controls = headless.controls();
    CopyJob& job = headless.job();
};

inline constexpr std::int64_t kib32 = 32 * 1024;

} // namespace brindlecap::testing
