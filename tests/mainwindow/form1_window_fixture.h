// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Form1.h"
#include "gui_test_support.h"
#include "scratch_dir.h"
#include "window_geometry.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTextDocument>
#include <QTimer>
#include <QtTest>

#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>

namespace brindlecap::testing {

// Where a window's frame stands when it is in the middle of its screen.
inline QPoint centredFramePosition(const QWidget& window)
{
    const auto screen = window.screen()->geometry().size() * 15;
    const auto outer = window.frameGeometry().size() * 15;
    return {static_cast<int>(std::lround(centredEdge(screen.width(), outer.width()) / 15)),
            static_cast<int>(std::lround(centredEdge(screen.height(), outer.height()) / 15))};
}

// Counts the paint events a label gets (only those for which `counted`
// holds, where given) and keeps the text it showed at the last one.
class PaintWatch final : public QObject
{
public:
    explicit PaintWatch(QLabel& label, std::function<bool()> counted = {})
        : m_label(label), m_counted(std::move(counted))
    {
        label.installEventFilter(this);
    }

    int count = 0;
    QString lastText;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && (!m_counted || m_counted())) {
            ++count;
            lastText = m_label.text();
        }
        return false;
    }

private:
    QLabel& m_label;
    std::function<bool()> m_counted;
};

// The words a tooltip shows: Qt renders one that looks like HTML as HTML,
// and a picture in it is no word.
inline QString shown(const QString& toolTip)
{
    if (!Qt::mightBeRichText(toolTip))
        return toolTip;
    QTextDocument document;
    document.setHtml(toolTip);
    return document.toPlainText().remove(QChar::ObjectReplacementCharacter).trimmed();
}

// A shown main window over a scratch folder, driven through its widgets.
class WindowFixture
{
public:
    WindowFixture()
    {
        std::filesystem::create_directory(scratch.path() / "out");
        window = std::make_unique<Form1>();
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            throw std::runtime_error("the main window was never shown");
    }

    template <typename T = QWidget> T* control(const char* name) const
    {
        return window->findChild<T*>(name);
    }
    QString text(const char* label) const { return control<QLabel>(label)->text(); }
    QTimer& timer() const { return *window->findChild<QTimer*>("Timer1"); }
    QListWidget& list() const { return *control<QListWidget>("lstFile"); }
    QString folder() const { return QString::fromStdString(scratch.path().string()); }
    QString out() const { return folder() + QStringLiteral("/out"); }

    QString source(const QString& name, std::size_t size, std::uint8_t seed = 1) const
    {
        writeFile((folder() + u'/' + name).toStdString(), patternBytes(size, seed));
        return folder() + u'/' + name;
    }
    bool copiedWhole(const QString& name) const
    {
        const auto copy = (out() + u'/' + name).toStdString();
        return std::filesystem::exists(copy) &&
               readFile(copy) == readFile((folder() + u'/' + name).toStdString());
    }

    void click(const char* button) const
    {
        QTest::mouseClick(control<QPushButton>(button), Qt::LeftButton);
    }
    // Selects files through the file button, with this picker text.
    void pick(const QString& pickerText) const
    {
        window->setPicker([pickerText](QWidget&, const QString&) { return pickerText; });
        click("cmdFileSelect");
    }
    // What the destination dialog's "Ok" does to the window.
    void chooseDestination(const QString& folderPath) const
    {
        control<QLabel>("lblDir")->setText(folderPath);
        control<QPushButton>("cmdCopy")->setEnabled(true);
    }
    void selectBuffer(const char* option) const { control<QRadioButton>(option)->click(); }
    // A new file of `size` bytes queued alone, the destination chosen and the
    // 32 KB buffer selected: ready for Copy.
    void readyOneFile(const QString& name, std::size_t size) const
    {
        source(name, size);
        pick(pickedIn(folder(), {name}));
        chooseDestination(out());
        selectBuffer("Option1");
    }
    QPoint centredPosition() const { return centredFramePosition(*window); }
    bool runJobToEnd(int timeoutMs = 20000) const
    {
        return runEventsUntil([this] { return !timer().isActive(); }, timeoutMs);
    }

    ScratchDir scratch;
    std::unique_ptr<Form1> window;
};

} // namespace brindlecap::testing
