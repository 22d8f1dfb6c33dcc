// SPDX-License-Identifier: GPL-3.0-or-later
#include "Form1.h"
#include "gui_test_support.h"

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

namespace brindlecap::testing {
namespace {

enum class Look
{
    plain, // the toolkit's own colours
    yellowOnBlack,
    whiteBack,
    windowColours // an option button on the window background of a text field
};

struct ControlSpec
{
    const char* name;
    QRect twips;
    const char* caption;
    bool ownFont; // bold 8.25 pt in the stand-in for the given family
    Qt::Alignment alignment;
    bool framed;
    Look look;
    bool enabled;
};

constexpr auto left = Qt::AlignLeft | Qt::AlignVCenter;
constexpr auto centre = Qt::AlignCenter;
constexpr auto right = Qt::AlignRight | Qt::AlignVCenter;

// The window's controls, in twips as they are designed.
const ControlSpec controls[] = {
    {"lstFile", {120, 360, 6855, 3375}, "", false, left, false, Look::plain, true},
    {"cmdStop", {8040, 6960, 975, 495}, "Stop", true, left, false, Look::plain, false},
    {"cmdFileSelect",
     {7080, 360, 1935, 495},
     "Select File To Copy",
     true,
     left,
     false,
     Look::plain,
     true},
    {"cmdDirSelect",
     {7080, 3960, 1935, 495},
     "Select Dir To Save",
     true,
     left,
     false,
     Look::plain,
     false},
    {"Option1", {120, 4920, 855, 255}, "32", true, left, false, Look::windowColours, true},
    {"Option2", {1080, 4920, 855, 255}, "64", true, left, false, Look::windowColours, true},
    {"Option3", {2040, 4920, 855, 255}, "128", true, left, false, Look::windowColours, true},
    {"Option4", {3000, 4920, 855, 255}, "256", true, left, false, Look::windowColours, true},
    {"Option5", {3960, 4920, 855, 255}, "512", true, left, false, Look::windowColours, true},
    {"Option6", {4920, 4920, 855, 255}, "1024", true, left, false, Look::windowColours, true},
    {"Option7", {5880, 4920, 855, 255}, "2048", true, left, false, Look::windowColours, true},
    {"cmdCopy", {7080, 6960, 975, 495}, "Copy", true, left, false, Look::plain, false},
    {"lblMark", {120, 6360, 3735, 1095}, "Brindlecap", false, centre, true, Look::plain, true},
    {"Label3", {120, 5400, 855, 255}, "File Path", true, left, false, Look::plain, true},
    {"lblFilesDone", {5160, 7200, 1815, 255}, "", true, centre, false, Look::yellowOnBlack, true},
    {"Label12", {3960, 7200, 1095, 255}, "File(s) Done", true, left, false, Look::plain, true},
    {"lblFile", {120, 5640, 6855, 255}, "", false, left, true, Look::yellowOnBlack, true},
    {"lblDir", {120, 4200, 6855, 255}, "", true, left, true, Look::whiteBack, true},
    {"lblTotal", {5160, 6360, 1815, 255}, "", true, right, true, Look::yellowOnBlack, true},
    {"Label1", {120, 120, 6615, 255}, " File To Copy", true, left, false, Look::plain, true},
    {"Label2",
     {120, 3960, 6855, 255},
     " Directory To Copy File",
     true,
     left,
     false,
     Look::plain,
     true},
    {"Label6",
     {120, 4680, 6615, 255},
     "Select Buffer Size For Copying File   (KiloByte)",
     true,
     left,
     false,
     Look::plain,
     true},
    {"Label7", {120, 5880, 855, 255}, "FileName", true, left, false, Look::plain, true},
    {"Label8", {3960, 5880, 1215, 255}, "FileSize (Byte)", true, left, false, Look::plain, true},
    {"lblFileName", {960, 5880, 2895, 255}, "", false, centre, true, Look::yellowOnBlack, true},
    {"lblFileSize", {5160, 5880, 1815, 255}, "", false, centre, true, Look::yellowOnBlack, true},
    {"Label9", {4080, 6360, 975, 255}, "Total Bytes", true, left, false, Look::plain, true},
    {"lblByteDone", {5160, 6600, 1815, 255}, "", true, right, true, Look::yellowOnBlack, true},
    {"Label11", {4080, 6600, 975, 255}, "Bytes Done", true, left, false, Look::plain, true},
    {"Label10", {3960, 6840, 1215, 255}, "Percent Done", true, left, false, Look::plain, true},
    {"lblPercent", {5160, 6840, 1815, 255}, "", true, centre, false, Look::yellowOnBlack, true},
};

QRect pixels(QRect twips)
{
    return {twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15};
}

bool hasPixel(const QImage& image, const std::function<bool(QColor)>& wanted)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (wanted(image.pixelColor(x, y)))
                return true;
    return false;
}

class Form1LayoutTest final : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_window = std::make_unique<Form1>();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void cleanup() { m_window.reset(); }

    void windowIsFixedWithACloseBoxOnly()
    {
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Brindlecap"));
        QCOMPARE(m_window->centralWidget()->size(), QSize(609, 505));
        QCOMPARE(m_window->minimumSize(), m_window->maximumSize());
        const auto flags = m_window->windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QCOMPARE(m_window->menuBar()->geometry().bottom() + 1, m_window->centralWidget()->y());
    }

    void everyControlStandsWhereItIsDesignedAndLooksAsDesigned()
    {
        for (const auto& expected : controls) {
            const auto* widget = m_window->findChild<QWidget*>(expected.name);
            QVERIFY2(widget, expected.name);
            QVERIFY2(widget->parentWidget() == m_window->centralWidget(), expected.name);
            QCOMPARE(widget->geometry(), pixels(expected.twips));
            QCOMPARE(widget->isEnabled(), expected.enabled);
            if (const auto* label = qobject_cast<const QLabel*>(widget)) {
                QCOMPARE(label->text(), QString::fromUtf8(expected.caption));
                QCOMPARE(label->alignment(), expected.alignment);
                QCOMPARE(label->textFormat(), Qt::PlainText);
                QCOMPARE(label->focusPolicy(), Qt::NoFocus);
            } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
                QCOMPARE(button->text(), QString::fromUtf8(expected.caption));
                QVERIFY2(button->shortcut().isEmpty(), expected.name);
            }
            if (expected.ownFont) {
                QCOMPARE(widget->font().family(), QStringLiteral("Liberation Sans"));
                QCOMPARE(widget->font().pointSizeF(), 8.25);
                QVERIFY2(widget->font().bold(), expected.name);
            }
            checkLook(*m_window->findChild<QWidget*>(expected.name), expected);
        }
        const auto* title = m_window->findChild<QLabel*>("lblMark");
        QCOMPARE(title->font().pointSizeF(), 32.0);
        QVERIFY(title->font().bold());
        for (const auto* button : {"cmdStop", "cmdFileSelect", "cmdDirSelect", "cmdCopy"}) {
            const auto* push = m_window->findChild<QPushButton*>(button);
            QVERIFY(!push->isDefault() && !push->autoDefault());
        }
        QVERIFY(m_window->findChild<QRadioButton*>("Option4")->isChecked());
        QCOMPARE(m_window->findChild<QListWidget*>("lstFile")->selectionMode(),
                 QAbstractItemView::SingleSelection);
        QVERIFY(!m_window->findChild<QListWidget*>("lstFile")->isSortingEnabled());
    }

    void fourSeparatorsSpanTheWindow()
    {
        for (const auto& [name, y] :
             {std::pair{"Line4", 6240}, {"Line3", 5280}, {"Line2", 4560}, {"Line1", 3840}}) {
            const auto* line = m_window->findChild<QFrame*>(name);
            QVERIFY2(line, name);
            QCOMPARE(line->frameShape(), QFrame::HLine);
            QCOMPARE(line->geometry(), QRect(8, y / 15, 592, 1));
        }
    }

    void menusHoldTheirItemsAndThePopupStaysOffTheMenuBar()
    {
        QStringList bar;
        for (auto* action : m_window->menuBar()->actions())
            bar << action->text();
        QCOMPARE(bar, (QStringList{"File", "Help"}));
        const auto items = [this](const char* menu) {
            QStringList texts;
            for (auto* action : m_window->findChild<QMenu*>(menu)->actions()) {
                texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
                if (!action->shortcut().isEmpty())
                    texts << QStringLiteral("(has a shortcut)");
            }
            return texts;
        };
        QCOMPARE(items("mnu_File"), (QStringList{"New", "-", "Exit"}));
        QCOMPARE(items("mnu_Help"), (QStringList{"About"}));
        QCOMPARE(items("mnu_Popup"), (QStringList{"Remove"}));
        QCOMPARE(m_window->findChild<QMenu*>("mnu_Popup")->title(), QStringLiteral("Popup"));
    }

    void startsCentredAndIdleWithSelectFileFocused()
    {
        QTRY_COMPARE(QApplication::focusWidget(), m_window->findChild<QWidget*>("cmdFileSelect"));
        QCOMPARE(m_window->findChild<QObject*>("Timer1")->property("active").toBool(), false);
    }

    void tabVisitsTheEnabledControlsInTabIndexOrder()
    {
        // Ready: everything but Stop can take the focus.
        m_window->findChild<QWidget*>("cmdDirSelect")->setEnabled(true);
        m_window->findChild<QWidget*>("cmdCopy")->setEnabled(true);
        m_window->findChild<QWidget*>("cmdCopy")->setFocus();
        QStringList visited;
        for (int i = 0; i < 12; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited, (QStringList{"Option4", "cmdDirSelect", "cmdFileSelect", "lstFile",
                                       "cmdCopy", "Option4", "cmdDirSelect", "cmdFileSelect",
                                       "lstFile", "cmdCopy", "Option4", "cmdDirSelect"}));
    }

private:
    void checkLook(QWidget& widget, const ControlSpec& expected)
    {
        auto* label = qobject_cast<QLabel*>(&widget);
        const auto caption = label ? label->text() : QString();
        if (label)
            label->setText(QStringLiteral("MMMM")); // something to paint in the text colour
        const auto image = widget.grab().toImage();
        if (label)
            label->setText(caption);
        const auto inside = image.pixelColor(2, 2);
        switch (expected.look) {
        case Look::yellowOnBlack:
            QCOMPARE(inside, QColor(0, 0, 0));
            QVERIFY2(hasPixel(image, [](QColor c) { return c == QColor(255, 255, 0); }),
                     expected.name);
            break;
        case Look::whiteBack:
            QCOMPARE(inside, QColor(255, 255, 255));
            break;
        case Look::windowColours:
            QCOMPARE(image.pixelColor(image.width() - 2, image.height() / 2),
                     widget.palette().color(QPalette::Base));
            break;
        case Look::plain:
            break;
        }
        const auto edge = image.pixelColor(0, image.height() / 2);
        if (expected.framed)
            QCOMPARE(edge, QColor(128, 128, 128));
    }

    std::unique_ptr<Form1> m_window;
};

} // namespace

int runForm1LayoutTest(int argc, char** argv)
{
    return runTestObject<Form1LayoutTest>(argc, argv);
}

} // namespace brindlecap::testing

#include "form1_layout_test.moc"
