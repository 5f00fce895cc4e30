// sanitizer_defaults.cpp: the run-time options every program of a sanitizer build starts
// with, linked into each of them so that a test, a tool or the viewer run by hand behaves
// the same. ASAN_OPTIONS and LSAN_OPTIONS from the environment still add to or override
// these.
//
// intercept_tls_get_addr=0: the runtime's __tls_get_addr hook guesses where a dynamic TLS
// block starts and ends from a glibc layout older than 2.25. When a block of the GL
// driver (loaded with dlopen) happens to start 16 bytes past a page boundary, the guess
// reads two unrelated words as the block's bounds, and LeakSanitizer's thread tracer later
// faults scanning that range ("LeakSanitizer has encountered a fatal error"). Without the
// hook, the dynamic TLS blocks are still roots, since LeakSanitizer counts every block the
// dynamic loader allocated as reachable; the static TLS and every stack are scanned as
// usual, so a leak in our code is still found.
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options() {
  return "intercept_tls_get_addr=0";
}
