// Leaks that belong to system libraries the Qt tests load (fontconfig keeps its caches for
// the life of the process, D-Bus its connection data); LeakSanitizer asks for this list at
// start-up.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n";
}
