// SPDX-License-Identifier: GPL-3.0-or-later
#include "Form3.h"

#include "ui_Form3.h"

#include <QDesktopServices>
#include <QUrl>

namespace brindlecap {

namespace {

// A fixed single border with only the close box.
constexpr Qt::WindowFlags fixedWindow = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                        Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

} // namespace

Form3::Form3(QWidget& mainWindow)
    : DialogWindow(mainWindow, fixedWindow), m_ui(std::make_unique<Ui::Form3>())
{
    m_ui->setupUi(this);
    m_ui->Label2->setText(m_ui->Label2->text().arg(QStringLiteral(BRINDLECAP_VERSION)));
    connect(m_ui->Command1, &QPushButton::clicked, this, &Form3::Command1_Click);
    Form_Load();
}

Form3::~Form3() = default;

void Form3::Form_Load()
{
    centreOnScreen();
    m_ui->Command1->setFocus();
}

void Form3::Command1_Click()
{
    // Hands the address to the desktop's handler and returns at once; with no
    // handler nothing happens, and the dialog stays as it is.
    static_cast<void>(QDesktopServices::openUrl(QUrl(m_ui->Command1->text())));
}

void Form3::Form_Unload()
{
    // Focus last: a hidden or disabled window cannot take it.
    mainWindow().setEnabled(true);
    mainWindow().setVisible(true);
    mainWindow().activateWindow();
}

} // namespace brindlecap
