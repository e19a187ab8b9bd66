#pragma once

class QWidget;
class TOptions;

// Whether the user may go on with a command that needs the administrator: at once in edition 2;
// otherwise after the password window closed with "OK".
bool AskAdminPassword(QWidget* owner);
// The test before a command that changes the list or the limits: passes in edition 2, when the
// user may change settings, or when the password is given (asked only when the first two fail).
bool SettingsGate(QWidget* owner);
// Opens the password change window for `options`; true when the password was changed.
bool ChangePassword(TOptions& options, QWidget* owner = nullptr);
