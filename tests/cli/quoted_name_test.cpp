// SPDX-License-Identifier: GPL-3.0-or-later
#include "job_report_json.h"
#include "job_report_text.h"
#include "locale_number_format.h"
#include "progress_line.h"
#include "quoted_name.h"
#include "run_process.h"

#include <gtest/gtest.h>
#include <random>
#include <sstream>

namespace brindlecap {
namespace {

// Whether a text holds a control character other than the line breaks
// between its lines.
bool holdsControlCharacters(const std::string& text)
{
    for (std::size_t at = 0; at < text.size();) {
        const auto length = std::max<std::size_t>(utf8SequenceLength(text, at), 1);
        if (text[at] != '\n' && isControlCharacter(text, at, length))
            return true;
        at += length;
    }
    return false;
}

TEST(QuotedNameTest, NamesAreQuotedAsTheShellWouldTakeThemBack)
{
    const std::pair<std::string, std::string> cases[] = {
        {"/media/disc/IMG_0001.JPG", "/media/disc/IMG_0001.JPG"},
        {"ünïcødé.txt", "ünïcødé.txt"},
        {"with space.bin", "'with space.bin'"},
        {"it's", "'it'\\''s'"},
        {"new\nline", "'new'$'\\n''line'"},
        {"tab\there", "'tab'$'\\t''here'"},
        {"bad\xFF"
         "byte",
         "'bad'$'\\xFF''byte'"},
        {"", "''"},
        // What terminals obey: a title set (OSC ... BEL), the screen
        // cleared, and C1's CSI, which some take for ESC [.
        {"\x1B]0;owned\x07\x1B[2J.jpg", "$'\\x1B'']0;owned'$'\\x07\\x1B''[2J.jpg'"},
        {"csi\xC2\x9B"
         "2J",
         "'csi'$'\\xC2\\x9B''2J'"},
        // Not UTF-8: an overlong '/', a surrogate, past U+10FFFF.
        {"\xC0\xAF", "$'\\xC0\\xAF'"},
        {"\xED\xA0\x80", "$'\\xED\\xA0\\x80'"},
        {"\xF4\x90\x80\x80", "$'\\xF4\\x90\\x80\\x80'"},
        {"\xF0\x9F\x93\xB7.jpg", "\xF0\x9F\x93\xB7.jpg"},
    };
    for (const auto& [name, quoted] : cases) {
        SCOPED_TRACE(quoted);
        EXPECT_EQ(quotedName(name), quoted);
        // The shell reads it back as the very same bytes, on one line.
        EXPECT_FALSE(holdsControlCharacters(quotedName(name)));
        const auto echoed =
            testing::runProcess("/bin/bash", {"-c", "printf %s " + quotedName(name)});
        EXPECT_EQ(echoed.out, name);
    }
}

// UTF-8 as RFC 3629 has it, which Python's strict decoder follows: the edge
// cases, and many byte strings made from them at random.
TEST(QuotedNameTest, WhatIsUtf8IsDecidedAsPythonDecidesIt)
{
    std::vector<std::string> samples = {"\x7F",
                                        "\xC2\x80",
                                        "\xC2\x9F",
                                        "\xC2\xA0",
                                        "\xC1\xBF",
                                        "\xDF\xBF",
                                        "\xE0\x9F\xBF",
                                        "\xE0\xA0\x80",
                                        "\xED\x9F\xBF",
                                        "\xED\xA0\x80",
                                        "\xED\xBF\xBF",
                                        "\xEE\x80\x80",
                                        "\xEF\xBF\xBF",
                                        "\xF0\x8F\xBF\xBF",
                                        "\xF0\x90\x80\x80",
                                        "\xF4\x8F\xBF\xBF",
                                        "\xF4\x90\x80\x80",
                                        "\xF5\x80\x80\x80",
                                        "\xFF",
                                        "\x80",
                                        "\xE2\x82",
                                        "\xF0\x9F\x98",
                                        "a\xC3",
                                        "\xC3\xA9t\xC3\xA9"};
    std::mt19937 random(3629);
    const auto edges = samples;
    for (int made = 0; made < 2000; ++made) {
        std::string sample;
        for (int piece = 0; piece < 3; ++piece)
            sample += edges[random() % edges.size()];
        if (random() % 2 == 0)
            sample[random() % sample.size()] = static_cast<char>(0x80 + random() % 0x80);
        samples.push_back(sample);
    }
    std::ostringstream hex;
    for (const auto& sample : samples) {
        for (const auto c : sample)
            hex << std::hex << (static_cast<unsigned char>(c) >> 4)
                << (static_cast<unsigned char>(c) & 0xF);
        hex << ' ';
    }
    const auto python = testing::runProcess(
        "/usr/bin/python3", {"-c",
                             "import sys\n"
                             "def ok(b):\n"
                             "    try: b.decode('utf-8'); return '1'\n"
                             "    except UnicodeDecodeError: return '0'\n"
                             "print(''.join(ok(bytes.fromhex(h)) for h in sys.argv[1].split()))",
                             hex.str()});
    ASSERT_EQ(python.exitStatus, 0) << python.err;
    ASSERT_EQ(python.out.size(), samples.size() + 1);
    for (std::size_t index = 0; index < samples.size(); ++index) {
        const auto& sample = samples[index];
        bool utf8 = true;
        for (std::size_t at = 0; utf8 && at < sample.size();) {
            const auto length = utf8SequenceLength(sample, at);
            utf8 = length > 0;
            at += length;
        }
        EXPECT_EQ(utf8, python.out[index] == '1') << "sample " << index;
        // A name kept as it is when it needs no quoting is whole UTF-8.
        if (quotedName(sample) == sample) {
            EXPECT_TRUE(utf8) << index;
        }
    }
}

// A hostile name reaches no terminal and no script raw: not through the
// report, the progress line or the JSON, and two different names never
// read alike in JSON.
TEST(QuotedNameTest, NoPrintedNameSpeaksToATerminalOrLooksLikeAnother)
{
    const LocaleNumberFormat numbers(QLocale(QLocale::English, QLocale::UnitedStates));
    const std::string hostile = "/cd/\x1B]0;owned\x07\x1B[2J\xC2\x9B"
                                "2J.jpg";
    FileOutcome file;
    file.source = hostile;
    file.destination = hostile;
    file.finished = true;
    ProgressSnapshot progress;
    progress.name = hostile;
    const JobReport report{{file}};
    for (const auto& printed :
         {jobReportText(report, numbers), jobReportJson(report, 0), progressLine(progress, 200)})
        EXPECT_FALSE(holdsControlCharacters(printed)) << printed;

    auto latin = file;
    latin.source = "/cd/x\xC3\xBF"; // "xÿ"
    auto raw = file;
    raw.source = "/cd/x\xFF";
    const auto json = jobReportJson({{latin, raw}}, 0);
    const auto parsed = testing::runProcess(
        "/usr/bin/python3",
        {"-c",
         "import json,sys; f=json.loads(sys.argv[1])['files']; "
         "print(f[0]['source'] != f[1]['source'], f[1]['source_bytes'], 'source_bytes' in f[0])",
         json});
    EXPECT_EQ(parsed.out, "True 2f63642f78ff False\n") << json << parsed.err;
}

} // namespace
} // namespace brindlecap
