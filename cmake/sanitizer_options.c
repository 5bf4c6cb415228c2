/* Defaults of the AddressSanitizer run-time for every program of a sanitizer
 * build (ASAN_OPTIONS given at run time still win, flag by flag).
 * Qt loads its image plugins with dlopen, and the leak checker of GCC 12's
 * run-time reads a bogus range for their thread-local storage and crashes at
 * exit ("Tracer caught signal 11"): it is told not to track that storage. */
__attribute__((used, visibility("default"))) const char *__asan_default_options(void);

const char *__asan_default_options(void)
{
    return "intercept_tls_get_addr=0";
}
