// Thread-local data of a library loaded after start, as a Qt plugin has: glibc gives each thread
// its own heap block for it on first use.
extern "C" long* DynamicTlsTouch();

thread_local long g_perThread[2];

extern "C" long* DynamicTlsTouch()
{
    return g_perThread;
}
