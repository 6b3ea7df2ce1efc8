// Allocations LeakSanitizer is not to report in the test programs (it reads
// this function at start-up in a sanitizer build; elsewhere it is unused).
// OpenSSL, which Qt's network module loads for its TLS back end, keeps
// allocations of its own initialisation until the process ends; whether the
// leak check sees them depends on when its threads end.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() { return "leak:libcrypto.so\n"; }
