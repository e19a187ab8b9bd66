#pragma once

#include <QString>

// Shows the main window's four views (Lite, All, Reminders, Usage) side by side, filled with a
// sample day kept in a temporary data folder; with `folder` not empty also saves each view as
// a PNG file there ("main-lite.png" ...). Returns the windows' owner; the caller runs the loop.
class QObject;
QObject* MainViewsShow(const QString& folder);
// Ends what MainViewsShow made (the sample data folder goes with it).
void MainViewsFree(QObject* owner);
