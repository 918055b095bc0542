// The engine library prints its load line while it is being loaded, before main and
// before any constructor of this program runs, so setting QUORVANE_DIAGNOSTICS from main,
// or restarting with it set, comes too late for that line. Instead, standard output is
// pointed elsewhere from the program's pre-initialisation hook, which the dynamic loader
// runs before any library's constructors, and restored once the libraries are loaded:
// at standard error with -v/--verbose, at /dev/null without. QUORVANE_DIAGNOSTICS is then
// set the same way for the engine's own DEBUG lines. Standard output thus carries only
// what a command prints, and `quorvane ... --json | jq .` works. Someone who sets
// QUORVANE_DIAGNOSTICS keeps what it says.

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kVariable = "QUORVANE_DIAGNOSTICS";

const char* diagnostics_target = nullptr;  // "stderr", "none", or none: the library's default
int saved_stdout = -1;

// Read from the environment the loader hands over, before any library's constructor.
bool variable_set(char** envp) {
    const std::size_t name_length = std::strlen(kVariable);
    for (char** entry = envp; entry && *entry; ++entry) {
        if (std::strncmp(*entry, kVariable, name_length) == 0 && (*entry)[name_length] == '=') {
            return true;
        }
    }
    return false;
}

// -v anywhere before "--", as the command line is read later.
bool verbose_asked(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) return false;
        if (std::strcmp(argv[i], "-v") == 0 || std::strcmp(argv[i], "--verbose") == 0) return true;
    }
    return false;
}

void divert_stdout_while_loading(int argc, char** argv, char** envp) {
    if (variable_set(envp)) return;
    const bool verbose = verbose_asked(argc, argv);
    diagnostics_target = verbose ? "stderr" : "none";
    const int target = verbose ? STDERR_FILENO : ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (target < 0) return;
    saved_stdout = ::dup(STDOUT_FILENO);
    if (saved_stdout >= 0 && ::dup2(target, STDOUT_FILENO) < 0) {
        ::close(saved_stdout);
        saved_stdout = -1;
    }
    if (!verbose) ::close(target);
}

__attribute__((section(".preinit_array"),
               used)) void (*const divert_entry)(int, char**, char**) = divert_stdout_while_loading;

// The program's own static objects are constructed after every library's.
struct RestoreStdout {
    RestoreStdout() {
        if (saved_stdout >= 0) {
            ::dup2(saved_stdout, STDOUT_FILENO);
            ::close(saved_stdout);
        }
        if (diagnostics_target) setenv(kVariable, diagnostics_target, 1);
    }
} restore_stdout;

}  // namespace
