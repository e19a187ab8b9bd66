#pragma once

#include "ui/framework/FrmBase.h"

#include <functional>

class QAction;
class QComboBox;
class TImageButton;

// Lets the user try transparency values on this window itself; each choice is stored at once,
// "OK" keeps the chosen one and "Cancel" (or closing) stores the value the window opened with.
class TfrmTransparencySettings : public TfrmBase
{
    Q_OBJECT

public:
    explicit TfrmTransparencySettings(QWidget* parent = nullptr);

    // Opens the window modally; true when the user chose "OK".
    static bool Execute();

    // Called when the window closes either way; the settings gate leaves administrator mode.
    static void AdministratorModeLeaveHookSet(std::function<void()> hook);

    QLabel* lblTransparency = nullptr;
    QComboBox* cbxTransparency = nullptr;
    TImageButton* btnCombo = nullptr;
    TImageButton* btnOk = nullptr;
    TImageButton* btnCancel = nullptr;
    QAction* miOk = nullptr;
    QAction* miCancel = nullptr;

    int RememberedTransparency() const
    {
        return m_remembered;
    }
    int SelectedTransparency() const;

    void done(int result) override;

private:
    void cbxTransparencyChange();

    int m_remembered = 0;
};
