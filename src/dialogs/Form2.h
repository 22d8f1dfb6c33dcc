// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dialog_window.h"

#include <memory>

namespace Ui {
class Form2;
}

namespace brindlecap {

// What the folder dialog's "Ok" hands the main window, in this order: the
// folder, and then, once the main window is enabled again, that a copy can
// start.
class DestinationTaker
{
public:
    virtual ~DestinationTaker() = default;
    virtual void destinationChosen(const QString& folder) = 0;
    virtual void copyPossible() = 0;
};

// The destination folder dialog: a volume list, a folder list, "Ok" and
// "Cancel". "Ok" hands the open folder to the main window.
class Form2 final : public DialogWindow
{
    Q_OBJECT

public:
    // Builds the window from its layout and runs Form_Load.
    Form2(QWidget& mainWindow, DestinationTaker& taker);
    ~Form2() override;

    void Drive1_Change();
    void Command1_Click();
    void Command2_Click();

protected:
    void Form_Unload() override;

private:
    void Form_Load();

    DestinationTaker& m_taker;
    const std::unique_ptr<Ui::Form2> m_ui;
};

} // namespace brindlecap
