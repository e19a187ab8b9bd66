#include "app/TerminationSignals.h"

// Windows sends no signal to a windowed program: the end of the session reaches the session
// services' window as WM_QUERYENDSESSION and WM_ENDSESSION (the main window saves and ends on
// them), and a plain "close" from another program is a WM_CLOSE to the windows. Nothing is left
// for this class to listen to.
TTerminationSignals::TTerminationSignals(QObject* parent)
    : QObject(parent)
{
}

TTerminationSignals::~TTerminationSignals() = default;
