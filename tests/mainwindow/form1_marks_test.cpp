// SPDX-License-Identifier: GPL-3.0-or-later
// The queue's entries say what the last job did to their files: a mark of
// its own shape for each outcome, a tooltip that says it in words, and the
// same words for a screen reader. Jobs over real files and over the FUSE
// medium that fails like a damaged disc.
#include "damage_strip.h"
#include "form1_window_fixture.h"
#include "medium_pattern.h"
#include "queue_marks.h"
#include "test_mounts.h"

#include <QAction>
#include <QListWidgetItem>
#include <QTextDocument>

#include <sstream>

namespace brindlecap::testing {
namespace {

QImage imageOf(const QIcon& icon)
{
    return icon.pixmap(16, 16).toImage();
}

class Form1MarksTest final : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_fixture = std::make_unique<WindowFixture>(); }
    void cleanup() { m_fixture.reset(); }

    void eachKindOfOutcomeHasAShapeOfItsOwn()
    {
        using Kind = QueueMark::Kind;
        const Kind kinds[] = {Kind::copied, Kind::copiedWithZeros, Kind::notWrittenInFull,
                              Kind::notCopied, Kind::stopped};
        for (const auto a : kinds) {
            QVERIFY(!iconFor(a).isNull());
            for (const auto b : kinds)
                if (a != b)
                    QVERIFY(imageOf(iconFor(a)) != imageOf(iconFor(b)));
        }
    }

    void everyEntrySaysWhatHappenedToItsFile()
    {
        auto& f = *m_fixture;
        std::ostringstream description;
        description << "file disc.bin " << 200 * sector << " 7\ndirect-io\n";
        for (const auto first : {0, 40, 41, 90, 150, 160})
            description << "hard disc.bin " << first * sector << ' ' << (first + 1) * sector
                        << '\n';
        MountedMedium medium(f.scratch.path(), description.str());
        if (!medium.unavailable().empty())
            QSKIP(medium.unavailable().c_str());
        f.pick(QString::fromStdString(medium.path("disc.bin")) + QChar(u'\0') + QChar(u'\0'));
        f.source("good.bin", 100000);
        f.source("blocked.bin", 5000);
        std::filesystem::create_directory((f.out() + QStringLiteral("/blocked.bin")).toStdString());
        f.pick(pickedIn(f.folder(), {"good.bin", "missing.bin", "blocked.bin"}));
        f.chooseDestination(f.out());
        f.click("cmdCopy");
        QCOMPARE(shown(f.control<QLabel>("lblFile")->toolTip()), f.text("lblFile"));
        QCOMPARE(shown(f.control<QLabel>("lblFileName")->toolTip()), QStringLiteral("disc.bin"));
        QVERIFY(f.runJobToEnd());
        QCOMPARE(f.text("lblPercent"), QStringLiteral("Incomplete"));

        const struct
        {
            QueueMark::Kind kind;
            QString text;
        } expected[] = {
            {QueueMark::Kind::copiedWithZeros,
             QStringLiteral("Copied, but 12,288 bytes could not be read (Input/output error), at "
                            "bytes 0-2047, 81920-86015, 184320-186367, 307200-309247, "
                            "327680-329727, counted from 0; the copy has zeros there.")},
            {QueueMark::Kind::copied, QStringLiteral("Copied in full (100,000 bytes).")},
            {QueueMark::Kind::notCopied, QStringLiteral("Not copied: No such file or directory.")},
            {QueueMark::Kind::notWrittenInFull,
             QStringLiteral("Not written in full: not a regular file (5,000 bytes not "
                            "written).")},
        };
        QCOMPARE(f.list().count(), 4);
        for (int index = 0; index < 4; ++index) {
            const auto* entry = f.list().item(index);
            QCOMPARE(shown(entry->toolTip()), expected[index].text);
            QCOMPARE(entry->data(Qt::AccessibleDescriptionRole).toString(), expected[index].text);
            QCOMPARE(imageOf(entry->icon()), imageOf(iconFor(expected[index].kind)));
        }
        QCOMPARE(f.list().item(1)->text(), f.folder() + QStringLiteral("/good.bin"));

        // The damaged file drawn along its 200 sectors: missing at its bad
        // ones, rescued between them. A whole copy has no picture.
        const auto url =
            f.list().item(0)->toolTip().section(QStringLiteral("src=\""), 1).section(u'"', 0, 0);
        QVERIFY(url.startsWith(QStringLiteral("data:image/png;base64,")));
        const auto strip =
            QImage::fromData(QByteArray::fromBase64(url.section(u',', 1).toLatin1()), "PNG");
        QVERIFY(!strip.isNull());
        const auto atSector = [&](int index) {
            return strip.pixel(index * strip.width() / 200, strip.height() / 2);
        };
        for (const auto bad : {0, 40, 90, 150, 160})
            QCOMPARE(atSector(bad), stripColours::missing);
        for (const auto good : {20, 60, 120, 199})
            QCOMPARE(atSector(good), stripColours::rescued);
        QVERIFY(!f.list().item(1)->toolTip().contains(QStringLiteral("<img")));

        // The job summed up on its result labels and for a screen reader.
        const auto summary = QStringLiteral(
            "4 files: 1 copied in full, 1 copied with unreadable parts (12,288 bytes still "
            "missing, zeros in the copies), 1 not written in full, 1 not copied.\n"
            "To get more, clean the disc or put it in another drive and copy the same files into "
            "the same folder again; a second copy only adds. When a try adds nothing, stop.\n"
            "Make room on the destination (or choose another folder) and copy the files marked "
            "with a cross again.\n"
            "The mark of a file that was not copied says why.");
        QCOMPARE(f.window->accessibleDescription(), summary);
        for (const auto* label : {"lblPercent", "lblFilesDone"})
            QCOMPARE(shown(f.control<QLabel>(label)->toolTip()), summary);
        // The next Copy starts without it.
        f.pick(pickedIn(f.folder(), {"good.bin"}));
        f.chooseDestination(f.out());
        QVERIFY(f.control<QPushButton>("cmdCopy")->isEnabled());
        f.click("cmdCopy");
        QCOMPARE(f.window->accessibleDescription(), QString());
    }

    // Copying a file again in the same run of the window reads only what the
    // copy is still missing: what earlier tries rescued is not read again,
    // and every sector found bad is tried once more on its own, the inside
    // of a long bad stretch included. Each try says what it recovered.
    void aCopyMadeAgainReadsOnlyWhatIsStillMissing()
    {
        auto& f = *m_fixture;
        using Sectors = std::vector<std::pair<std::int64_t, std::int64_t>>; // first, count
        constexpr std::int64_t sectors = 400;
        const auto described = [&](const Sectors& bad) {
            std::ostringstream description;
            description << "file disc.bin " << sectors * sector << " 7\ndirect-io\n";
            for (const auto& [first, count] : bad)
                description << "hard disc.bin " << first * sector << ' ' << (first + count) * sector
                            << '\n';
            return description.str();
        };
        const struct
        {
            Sectors bad; // the disc's, and so what the copy misses after the try
            long reads;  // -1: not counted
            QString account;
        } tries[] = {
            {{{20, 1}, {100, 100}, {300, 1}},
             -1,
             QStringLiteral("208,896 bytes could not be read")},
            {{{150, 10}, {300, 1}},
             102,
             QStringLiteral("22,528 bytes could not be read (Input/output error), at bytes "
                            "307200-327679, 614400-616447, counted from 0; the copy has zeros "
                            "there. This copy recovered 186,368 bytes that an earlier copy was "
                            "missing.")},
            {{},
             11,
             QStringLiteral("Copied in full (819,200 bytes). This copy recovered 22,528 "
                            "bytes that an earlier copy was missing.")},
            {{}, 0, QStringLiteral("Copied in full (819,200 bytes).")},
        };
        const auto within = [](const Sectors& ranges, std::int64_t from, std::int64_t to) {
            return std::any_of(ranges.begin(), ranges.end(), [&](const auto& range) {
                return from >= range.first * sector && to <= (range.first + range.second) * sector;
            });
        };
        MountedMedium medium(f.scratch.path(), described(tries[0].bad));
        if (!medium.unavailable().empty())
            QSKIP(medium.unavailable().c_str());
        f.pick(QString::fromStdString(medium.path("disc.bin")) + QChar(u'\0') + QChar(u'\0'));
        Sectors missing;
        for (const auto& t : tries) {
            medium.redescribe(described(t.bad));
            const auto before = medium.reads().size();
            f.chooseDestination(f.out());
            f.click("cmdCopy");
            QVERIFY(f.runJobToEnd());
            // Every read of a later try lies in what the copy was missing.
            const auto reads = medium.reads();
            if (t.reads >= 0) {
                QCOMPARE(static_cast<long>(reads.size() - before), t.reads);
                QVERIFY(std::all_of(reads.begin() + static_cast<long>(before), reads.end(),
                                    [&](const MediumRead& read) {
                                        return within(missing, read.offset,
                                                      read.offset + read.size);
                                    }));
            }
            QVERIFY(shown(f.list().item(0)->toolTip()).contains(t.account));
            missing = t.bad;
            const auto copy = readFile((f.out() + QStringLiteral("/disc.bin")).toStdString());
            QCOMPARE(copy.size(), static_cast<std::size_t>(sectors * sector));
            for (std::int64_t at = 0; at < sectors * sector; at += sector) {
                const bool bad = within(t.bad, at, at + 1);
                const auto byte = copy[static_cast<std::size_t>(at)];
                QCOMPARE(byte, bad ? std::byte{0} : mediumByte(static_cast<std::uint64_t>(at), 7));
            }
        }
    }

    void aNameThatLooksLikeHtmlShowsAsItIs()
    {
        auto& f = *m_fixture;
        const auto name =
            QStringLiteral("<h1 style='color:green'>Disc read in full<img src=x>.jpg");
        f.source(name, 1000);
        f.pick(pickedIn(f.folder(), {name}));
        f.chooseDestination(f.out());
        f.click("cmdCopy");
        QVERIFY(f.runJobToEnd());
        QCOMPARE(shown(f.control<QLabel>("lblFileName")->toolTip()), name);
        QCOMPARE(shown(f.control<QLabel>("lblFile")->toolTip()), f.folder() + u'/' + name);
    }

    void aStoppedJobMarksWhereItStoppedAndNewKeepsTheMarks()
    {
        auto& f = *m_fixture;
        f.source("small.bin", 1000, 1);
        f.source("large.bin", 8 << 20, 2);
        f.source("later.bin", 1000, 3);
        f.pick(pickedIn(f.folder(), {"small.bin", "large.bin", "later.bin"}));
        f.chooseDestination(f.out());
        f.selectBuffer("Option1");
        // Stop right after the third chunk of large.bin, from the tick itself.
        QObject::connect(&f.timer(), &QTimer::timeout, [&] {
            if (f.timer().isActive() && f.text("lblByteDone") == QStringLiteral("65,537"))
                f.click("cmdStop");
        });
        f.click("cmdCopy");
        QVERIFY(runEventsUntil([&] { return !f.timer().isActive(); }));
        QCOMPARE(shown(f.list().item(0)->toolTip()),
                 QStringLiteral("Copied in full (1,000 bytes)."));
        QCOMPARE(shown(f.list().item(1)->toolTip()),
                 QStringLiteral("Stopped here, after 98,304 bytes of 8,388,608 bytes."));
        QCOMPARE(imageOf(f.list().item(1)->icon()), imageOf(iconFor(QueueMark::Kind::stopped)));
        QVERIFY(f.list().item(2)->icon().isNull());
        QCOMPARE(f.list().item(2)->toolTip(), QString());

        // New keeps them: they tell of the last job until the next one starts.
        f.control<QAction>("mnu_New")->trigger();
        QCOMPARE(shown(f.list().item(1)->toolTip()),
                 QStringLiteral("Stopped here, after 98,304 bytes of 8,388,608 bytes."));
        f.pick(pickedIn(f.folder(), {"small.bin"}));
        f.chooseDestination(f.out());
        f.click("cmdCopy");
        // The file being copied says so; the others are unmarked.
        const auto inProgress = inProgressMark(false);
        QCOMPARE(imageOf(f.list().item(0)->icon()), imageOf(iconFor(inProgress.kind)));
        QCOMPARE(shown(f.list().item(0)->toolTip()), inProgress.text);
        QCOMPARE(f.list().item(0)->data(Qt::AccessibleDescriptionRole).toString(), inProgress.text);
        for (int index = 1; index < f.list().count(); ++index) {
            QVERIFY(f.list().item(index)->icon().isNull());
            QCOMPARE(f.list().item(index)->toolTip(), QString());
            QVERIFY(!f.list().item(index)->data(Qt::AccessibleDescriptionRole).isValid());
        }
        f.click("cmdStop");
    }

    void newDuringAJobMarksTheFileItEndedIn()
    {
        auto& f = *m_fixture;
        f.readyOneFile("large.bin", 8 << 20);
        f.click("cmdCopy");
        QVERIFY(runEventsUntil([&] { return !f.text("lblByteDone").isEmpty(); }));
        f.control<QAction>("mnu_New")->trigger();
        QVERIFY(
            shown(f.list().item(0)->toolTip()).startsWith(QStringLiteral("Stopped here, after ")));
    }

    void removingEntriesDuringAJobLeavesEachMarkOnItsOwnFile()
    {
        auto& f = *m_fixture;
        f.source("a.bin", 1000, 1);
        f.source("b.bin", 3 << 20, 2);
        f.source("c.bin", 3000, 3);
        f.source("d.bin", 4000, 4);
        f.pick(pickedIn(f.folder(), {"a.bin", "b.bin", "c.bin", "d.bin"}));
        f.chooseDestination(f.out());
        f.selectBuffer("Option1");
        f.click("cmdCopy");
        const auto b = f.folder() + QStringLiteral("/b.bin");
        QVERIFY(runEventsUntil([&] { return f.text("lblFile") == b; }));
        QVERIFY(runEventsUntil([&] { return !f.list().item(0)->toolTip().isEmpty(); }));
        const auto remove = [&](const QString& name) {
            const auto found = f.list().findItems(f.folder() + u'/' + name, Qt::MatchExactly);
            QCOMPARE(found.size(), 1);
            f.list().setCurrentItem(found.front());
            f.control<QAction>("mnu_Remove")->trigger();
        };
        remove(QStringLiteral("a.bin")); // done, above the current file
        remove(QStringLiteral("c.bin")); // still to come
        QVERIFY(f.runJobToEnd());
        QCOMPARE(f.list().count(), 2);
        QCOMPARE(f.list().item(0)->text(), b);
        QCOMPARE(shown(f.list().item(0)->toolTip()),
                 QStringLiteral("Copied in full (3,145,728 bytes)."));
        QCOMPARE(shown(f.list().item(1)->toolTip()),
                 QStringLiteral("Copied in full (4,000 bytes)."));
    }

private:
    std::unique_ptr<WindowFixture> m_fixture;
};

} // namespace

int runForm1MarksTest(int argc, char** argv)
{
    return runTestObject<Form1MarksTest>(argc, argv);
}

} // namespace brindlecap::testing

#include "form1_marks_test.moc"
