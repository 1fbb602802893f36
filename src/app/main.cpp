// The front of the program. It answers `torvix --version` by itself and hands everything else to
// libtorvix-program.so, found from this file's own place: so it links nothing but libc, and the
// version costs no more than starting a process.
#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc == 2 && strcmp(argv[1], "--version") == 0) {
        fputs("torvix " TORVIX_VERSION "\n", stdout);
        return 0;
    }
    // The program's own file, wherever it was started from (a link, a relative path, $PATH).
    char path[PATH_MAX + sizeof TORVIX_PROGRAM_LIBRARY + 1];
    const ssize_t n = readlink("/proc/self/exe", path, PATH_MAX);
    if (n <= 0) {
        fputs("torvix: cannot find the program's own file (/proc is not mounted?)\n", stderr);
        return 1;
    }
    path[n] = '\0';
    char* slash = strrchr(path, '/');
    strcpy(slash ? slash + 1 : path, TORVIX_PROGRAM_LIBRARY);
    void* library = dlopen(path, RTLD_LAZY | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        fprintf(stderr, "torvix: cannot load the program library (%s)\n", why ? why : path);
        return 1;
    }
    using ProgramMain = int (*)(int, char**);
    auto programMain = reinterpret_cast<ProgramMain>(dlsym(library, "torvix_program_main"));
    if (!programMain) {
        fprintf(stderr, "torvix: %s is not the program library of torvix\n", path);
        return 1;
    }
    return programMain(argc, argv);
}
