// The leak check at exit of the sanitizer build, on a process whose threads still hold
// thread-local data of a library it loaded itself (a Qt program at exit: its plugins, its
// threads). Passes when the check finishes and finds nothing; the runtime's tracer crashing on
// such blocks failed tests that had passed.
#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

namespace {

std::atomic<int> g_touched { 0 };

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <library with thread-local data>\n", argv[0]);
        return 2;
    }
    void* library = dlopen(argv[1], RTLD_NOW);
    if (!library) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    using TTouch = long* (*)();
    const auto touch = reinterpret_cast<TTouch>(dlsym(library, "DynamicTlsTouch"));
    if (!touch) {
        std::fprintf(stderr, "no DynamicTlsTouch in %s\n", argv[1]);
        return 2;
    }
    touch()[0] = 1;
    // Threads that are still there at exit, each with its own block, as a thread pool's are.
    constexpr int threads = 8;
    for (int i = 0; i < threads; ++i) {
        std::thread([touch] {
            touch()[0] = 1;
            ++g_touched;
            for (;;) {
                pause();
            }
        }).detach();
    }
    while (g_touched < threads) {
        std::this_thread::yield();
    }
    return 0;
}
