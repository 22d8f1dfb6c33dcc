// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Form2.h"
#include "copy_job.h"
#include "dialog_instance.h"
#include "job_summary.h"
#include "locale_number_format.h"
#include "paint_pacer.h"
#include "posix_file_access.h"
#include "queue_marks.h"
#include "remembered_rescues.h"
#include "widget_adapters.h"
#include "window_waiter.h"

#include <QMainWindow>
#include <QTimer>

#include <functional>
#include <memory>

namespace Ui {
class Form1;
}

namespace brindlecap {

// The main window: the queue, the destination, the buffer size, the progress
// of the copy job it drives, and the commands.
class Form1 final : public QMainWindow, private DestinationTaker
{
    Q_OBJECT

public:
    // Puts up an open-file dialog over the window and gives its picker text.
    using Picker = std::function<QString(QWidget& owner, const QString& destination)>;

    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // Tests hand the window a picker of their own.
    void setPicker(Picker picker) { m_picker = std::move(picker); }
    const CopyJob& job() const { return m_job; }
    const WindowWaiter& waiter() const { return m_waiter; }
    // The dialogs' one instance each; null until first used.
    DialogInstance* destinationDialog() const { return m_form2.get(); }
    DialogInstance* aboutDialog() const { return m_form3.get(); }

    void Form_Load();
    void Form_Activate();
    void cmdFileSelect_Click();
    void cmdDirSelect_Click();
    void cmdCopy_Click();
    void cmdStop_Click();
    void mnu_New_Click();
    void mnu_Exit_Click();
    void mnu_Remove_Click();
    void mnu_About_Click();
    void lstFile_MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint position);
    void Timer1_Timer();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void destinationChosen(const QString& folder) override;
    void copyPossible() override;
    void restoreWindowLayout();
    // Queues the files of a picker text, as "Select File To Copy" does.
    void queuePicked(const QString& text);
    // The queue's marks and the job's summary follow what the job did.
    void followJob(bool running);
    // A dialog of the program's own is about to take over; the window's next
    // activation is the return from it.
    void armActivationAfterDialog() { m_activationPending = true; }

    std::unique_ptr<Ui::Form1> m_ui;
    QTimer Timer1;
    LabelFields m_fields;
    ListQueue m_queue;
    RadioOptions m_options;
    WidgetControls m_controls;
    PosixFileAccess m_posixFiles;
    // The file operations run off this thread; the window waits for them
    // drawn, and handles nothing of the user's until the tick is over.
    WindowWaiter m_waiter{Timer1};
    BackgroundFileAccess m_files{m_posixFiles, m_waiter};
    LocaleNumberFormat m_numbers;
    // What this run of the program rescued, so that copying a file again
    // reads only what is still missing.
    RememberedRescues m_rescues{m_files};
    CopyJob m_job;
    QueueMarks m_marks;
    JobSummary m_summary;
    Picker m_picker;
    PaintPacer m_paintPacer{*this};
    std::unique_ptr<DialogInstance> m_form2;
    std::unique_ptr<DialogInstance> m_form3;
    bool m_activationPending = true; // the first show activates too
};

} // namespace brindlecap
