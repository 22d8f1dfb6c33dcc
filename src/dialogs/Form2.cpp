// SPDX-License-Identifier: GPL-3.0-or-later
#include "Form2.h"

#include "ui_Form2.h"

namespace brindlecap {

namespace {

// A sizable border with all three caption buttons.
constexpr Qt::WindowFlags sizableWindow = Qt::Window | Qt::WindowTitleHint |
                                          Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                                          Qt::WindowCloseButtonHint;

} // namespace

Form2::Form2(QWidget& mainWindow, DestinationTaker& taker)
    : DialogWindow(mainWindow, sizableWindow), m_taker(taker), m_ui(std::make_unique<Ui::Form2>())
{
    m_ui->setupUi(this);
    connect(m_ui->Drive1, &QComboBox::currentIndexChanged, this, &Form2::Drive1_Change);
    connect(m_ui->Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    connect(m_ui->Command2, &QPushButton::clicked, this, &Form2::Command2_Click);
    Form_Load();
}

Form2::~Form2() = default;

void Form2::Form_Load()
{
    centreOnScreen();
    m_ui->Command2->setFocus();
}

void Form2::Drive1_Change()
{
    // A volume that cannot be read leaves the folder list where it was.
    static_cast<void>(m_ui->Dir1->setPath(m_ui->Drive1->currentText()));
}

void Form2::Command1_Click()
{
    m_taker.destinationChosen(m_ui->Dir1->path());
    mainWindow().setEnabled(true);
    m_taker.copyPossible();
    close();
}

void Form2::Command2_Click()
{
    mainWindow().setEnabled(true);
    close();
}

void Form2::Form_Unload()
{
    mainWindow().setEnabled(true);
}

} // namespace brindlecap
