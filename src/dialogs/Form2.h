// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dialog_instance.h"

#include <memory>

class QAbstractButton;
class QLabel;

namespace Ui {
class Form2;
}

namespace brindlecap {

// The destination folder dialog: a volume list, a folder list, "Ok" and
// "Cancel". "Ok" writes the open folder into the main window's destination
// field and enables its "Copy" button.
class Form2 final : public DialogInstance
{
    Q_OBJECT

public:
    Form2(QWidget& mainWindow, QLabel& lblDir, QAbstractButton& cmdCopy);
    ~Form2() override;

    void Drive1_Change();
    void Command1_Click();
    void Command2_Click();

protected:
    void setupControls(QWidget& window) override;
    void releaseControls() override;
    void Form_Load() override;
    void Form_Unload() override;

private:
    QLabel& m_lblDir;
    QAbstractButton& m_cmdCopy;
    std::unique_ptr<Ui::Form2> m_ui;
};

} // namespace brindlecap
