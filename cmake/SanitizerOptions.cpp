// Built into every program of the sanitizer build, so that a run by hand behaves as the test
// stage's run does.
//
// intercept_tls_get_addr=0: GCC 12's and clang 14's runtimes record each block of thread-local
// data that glibc allocates for a library loaded after start (Qt's plugins and what they load).
// A block that starts 16 bytes into a page is taken for one of glibc 2.19 to 2.24, whose two
// words before it are read as the block's start and size; since glibc 2.25 those words belong to
// the allocator's own header, and the leak check's tracer then reads far outside any mapping and
// dies ("Tracer caught signal 11") after a test that passed. Whether a block lands there depends
// on the order of allocations, so the crash came and went. Without the interception those blocks
// are not scanned for pointers: a heap object reachable only from a plugin's thread-local data
// would be reported as a leak, never hidden.
extern "C" const char* __asan_default_options();

extern "C" const char* __asan_default_options()
{
    return "intercept_tls_get_addr=0";
}
