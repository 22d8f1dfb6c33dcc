// SPDX-License-Identifier: GPL-3.0-or-later
#include "Form1.h"

#include "Form3.h"
#include "application_icon.h"
#include "open_dialog.h"
#include "picker_text.h"
#include "ui_Form1.h"
#include "window_geometry.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDropEvent>
#include <QFile>
#include <QLayout>
#include <QMouseEvent>
#include <QRadioButton>

#include <algorithm>

namespace brindlecap {

namespace {

// The window's outer size at load, frame and menu bar included.
constexpr QSizeF loadOuterSizeTwips(9225, 8355);
constexpr qreal titlePointSize = 32;

// Tab stops once in the option group, at the chosen size; the arrow keys move
// within the group.
void keepOneTabStop(const std::array<QRadioButton*, BufferOptions::count>& options)
{
    for (auto* option : options) {
        const auto follow = [option](bool checked) {
            option->setFocusPolicy(checked ? Qt::StrongFocus : Qt::ClickFocus);
        };
        follow(option->isChecked());
        QObject::connect(option, &QRadioButton::toggled, option, follow);
    }
}

std::unique_ptr<Ui::Form1> buildUi(QMainWindow& window)
{
    auto ui = std::make_unique<Ui::Form1>();
    ui->setupUi(&window);
    return ui;
}

using OptionButtons = std::array<QRadioButton*, BufferOptions::count>;

OptionButtons optionButtons(const Ui::Form1& ui)
{
    return {ui.Option1, ui.Option2, ui.Option3, ui.Option4, ui.Option5, ui.Option6, ui.Option7};
}

// The controls whose enabled flags say which commands are possible, in the
// order of Control: the four buttons, then the options.
WidgetControls::Widgets controlWidgets(const Ui::Form1& ui)
{
    WidgetControls::Widgets widgets{ui.cmdFileSelect, ui.cmdDirSelect, ui.cmdCopy, ui.cmdStop};
    const auto options = optionButtons(ui);
    std::copy(options.begin(), options.end(),
              widgets.begin() + static_cast<std::ptrdiff_t>(Control::Option1));
    return widgets;
}

} // namespace

Form1::Form1(QWidget* parent)
    : QMainWindow(parent), m_ui(buildUi(*this)),
      m_fields({m_ui->lblFile, m_ui->lblFileName, m_ui->lblFileSize, m_ui->lblDir, m_ui->lblTotal,
                m_ui->lblByteDone, m_ui->lblPercent, m_ui->lblFilesDone}),
      m_queue(*m_ui->lstFile), m_options(optionButtons(*m_ui)),
      m_controls(controlWidgets(*m_ui), Timer1, [this] { restoreWindowLayout(); }),
      m_job({m_fields, m_queue, m_options, m_controls, m_files, m_numbers, &m_rescues}),
      m_marks(*m_ui->lstFile, m_numbers),
      m_summary(*this, {m_ui->lblPercent, m_ui->lblFilesDone}, m_numbers),
      m_picker(Module1::ShowOpenDialog)
{
    // A fixed single border: no resizing, no minimise or maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    setWindowIcon(applicationIcon());
    keepOneTabStop(optionButtons(*m_ui));

    Timer1.setParent(this);
    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(1);
    Timer1.setTimerType(Qt::PreciseTimer);
    connect(&Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);

    connect(m_ui->cmdFileSelect, &QPushButton::clicked, this, &Form1::cmdFileSelect_Click);
    connect(m_ui->cmdDirSelect, &QPushButton::clicked, this, &Form1::cmdDirSelect_Click);
    connect(m_ui->cmdCopy, &QPushButton::clicked, this, &Form1::cmdCopy_Click);
    connect(m_ui->cmdStop, &QPushButton::clicked, this, &Form1::cmdStop_Click);
    connect(m_ui->mnu_New, &QAction::triggered, this, &Form1::mnu_New_Click);
    connect(m_ui->mnu_Exit, &QAction::triggered, this, &Form1::mnu_Exit_Click);
    connect(m_ui->mnu_Remove, &QAction::triggered, this, &Form1::mnu_Remove_Click);
    connect(m_ui->mnu_About, &QAction::triggered, this, &Form1::mnu_About_Click);
    m_ui->lstFile->viewport()->installEventFilter(this);
    m_ui->lstFile->viewport()->setAcceptDrops(true);

    // Stop and the close box are heard while a tick waits on the drive:
    // the reads of the chunk end at the next read, and the click is then
    // handled as any other, after the tick.
    m_waiter.watchForStop(*this, *m_ui->cmdStop);
    m_posixFiles.setStopCheck([this] { return m_waiter.stopAsked(); });
    m_waiter.setLongWaitHandler([this](bool waiting) { m_marks.showWaiting(waiting); });

    Form_Load();
}

Form1::~Form1() = default;

void Form1::Form_Load()
{
    m_job.Form_Load();
}

void Form1::restoreWindowLayout()
{
    adjustSize();
    centreOnScreen(*this, loadOuterSizeTwips);
    auto font = m_ui->lblMark->font();
    font.setPointSizeF(titlePointSize);
    m_ui->lblMark->setFont(font);
}

void Form1::Form_Activate()
{
    // A disabled button takes no focus; the focus then stays where it is.
    m_ui->cmdFileSelect->setFocus();
}

void Form1::cmdFileSelect_Click()
{
    queuePicked(m_picker(*this, m_ui->lblDir->text()));
}

void Form1::queuePicked(const QString& text)
{
    const auto paths = splitPickerText(QFile::encodeName(text).toStdString());
    if (!paths)
        return;
    for (const auto& path : *paths)
        m_ui->lstFile->addItem(QFile::decodeName(QByteArray::fromStdString(path)));
    m_ui->cmdDirSelect->setEnabled(true);
}

void Form1::cmdDirSelect_Click()
{
    if (!m_form2)
        m_form2 = std::make_unique<DialogInstance>(
            [this] { return new Form2(*this, static_cast<DestinationTaker&>(*this)); });
    armActivationAfterDialog();
    m_form2->Show();
    setEnabled(false);
}

void Form1::destinationChosen(const QString& folder)
{
    m_ui->lblDir->setText(folder);
}

void Form1::copyPossible()
{
    m_ui->cmdCopy->setEnabled(true);
}

void Form1::cmdCopy_Click()
{
    m_marks.clear();
    m_summary.clear();
    m_job.cmdCopy_Click();
    followJob(Timer1.isActive());
    m_waiter.handOnKeptEvents();
}

void Form1::cmdStop_Click()
{
    m_job.cmdStop_Click();
    followJob(false);
}

void Form1::mnu_New_Click()
{
    // The marks describe the last job, so New keeps them; a job still
    // running ends here, in the file it was copying.
    followJob(false);
    m_job.mnu_New_Click();
}

void Form1::mnu_Exit_Click()
{
    // No file is open between ticks, so ending here loses nothing written;
    // and no tick may come between this and the end of the event loop.
    Timer1.stop();
    QCoreApplication::exit(0);
}

void Form1::lstFile_MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers, QPoint)
{
    if (button != Qt::RightButton)
        return;
    const auto* list = m_ui->lstFile;
    for (int index = 0; index < list->count(); ++index) {
        if (list->item(index)->isSelected()) {
            m_ui->mnu_Popup->popup(QCursor::pos());
            return;
        }
    }
}

void Form1::mnu_Remove_Click()
{
    auto* list = m_ui->lstFile;
    for (int index = 0; index < list->count(); ++index) {
        if (list->item(index)->isSelected()) {
            delete list->takeItem(index);
            m_job.queueEntryRemoved(index);
            return;
        }
    }
}

void Form1::mnu_About_Click()
{
    if (!m_form3)
        m_form3 = std::make_unique<DialogInstance>([this] { return new Form3(*this); });
    armActivationAfterDialog();
    m_form3->Show();
    // The timer goes on behind the hidden window, and so does a copy.
    setEnabled(false);
    setVisible(false);
}

void Form1::Timer1_Timer()
{
    m_job.Timer1_Timer();
    followJob(Timer1.isActive());
    m_waiter.handOnKeptEvents();
}

void Form1::followJob(bool running)
{
    m_marks.follow(m_job, running);
    m_summary.follow(m_job.report(), running);
}

bool Form1::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && m_activationPending) {
        m_activationPending = false;
        Form_Activate();
    }
    return QMainWindow::event(event);
}

void Form1::closeEvent(QCloseEvent* event)
{
    // Closing the main window ends the program, even with a dialog up.
    event->accept();
    mnu_Exit_Click();
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_ui->lstFile->viewport())
        return QMainWindow::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        lstFile_MouseUp(mouse->button(), mouse->modifiers(), mouse->position().toPoint());
        break;
    }
    // Files dropped from a file manager are queued as if picked, and only
    // when they could be picked: local files (no folder, nothing remote),
    // while the picker's button can be pressed.
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const auto files = droppedFiles(*drop->mimeData());
        if (!files || !m_ui->cmdFileSelect->isEnabled()) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        if (event->type() == QEvent::Drop)
            queuePicked(Module1::pickerTextFor(*files));
        return true;
    }
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace brindlecap
