// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dialog_window.h"

#include <memory>

namespace Ui {
class Form3;
}

namespace brindlecap {

// The About dialog: who made the program, its version, and a button that
// opens the program's web address. The main window is hidden while it is up.
class Form3 final : public DialogWindow
{
    Q_OBJECT

public:
    // Builds the window from its layout and runs Form_Load.
    explicit Form3(QWidget& mainWindow);
    ~Form3() override;

    void Command1_Click();

protected:
    void Form_Unload() override;

private:
    void Form_Load();

    const std::unique_ptr<Ui::Form3> m_ui;
};

} // namespace brindlecap
