// tallyhour-sample: takes one sample of the foreground activity through the desktop backend and
// prints what the scan would see, for support and for tests. With --running it prints the
// current user's running programs as the add wizard offers them.
#include "model/ProgramLog.h"
#include "tools/sample/SampleServices.h"
#include "tools/sample/SampleText.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>

int main(int argc, char** argv)
{
    bool running = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--running") == 0) {
            running = true;
        } else {
            std::cerr << "Usage: tallyhour-sample [--running]\n";
            return 2;
        }
    }
    // What the sample logs (an unreadable browser, a failing call) is for the person running the
    // command, not for the program's own log.
    LogFileNameSet("/dev/stderr");
    try {
        // The session's own backend, as the program picks it; what it cannot see is logged.
        std::unique_ptr<TPlatformServices> services = SampleServicesCreate();
        if (running) {
            for (const std::string& line : RunningProgramLinesGet(*services->Processes))
                std::cout << line << '\n';
        } else {
            std::cout << ForegroundSampleText(*services);
        }
    } catch (const std::exception& error) {
        std::cerr << "tallyhour-sample: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
