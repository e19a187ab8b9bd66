// A plain window of its own for the Wayland desktop tests: `tallyhour-test-window TITLE` shows
// one top-level window titled TITLE as a native Wayland client (the tests set
// QT_QPA_PLATFORM=wayland). SIGUSR1 appends " (renamed)" to the title, as a program that
// changes its title while in front; SIGTERM ends it.
#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <csignal>

namespace {
volatile std::sig_atomic_t g_renameAsked = 0;
}

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const QString title = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("test window");
    QLabel window(title);
    window.setWindowTitle(title);
    window.resize(320, 200);
    window.show();
    std::signal(SIGUSR1, [](int) { g_renameAsked = 1; });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&window] {
        if (g_renameAsked) {
            g_renameAsked = 0;
            window.setWindowTitle(window.windowTitle() + QStringLiteral(" (renamed)"));
        }
    });
    poll.start(50);
    return application.exec();
}
