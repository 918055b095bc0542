// The engine library prints its load line while it is being loaded, before main and
// before any constructor of this program runs, so setting QUORVANE_DIAGNOSTICS from main,
// or restarting with it set, comes too late for that line. Instead, standard output is
// pointed at standard error from the program's pre-initialisation hook, which the dynamic
// loader runs before any library's constructors, and restored once the libraries are
// loaded; the variable is then set for the engine's own DEBUG lines. Standard output
// thus carries only what a command prints, and `quorvane ... --json | jq .` works.
// Someone who sets QUORVANE_DIAGNOSTICS to another value keeps the library's default.

#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kVariable = "QUORVANE_DIAGNOSTICS";

bool to_stderr = false;
int saved_stdout = -1;

// The C library has not set itself up yet; the loader hands over the environment as is.
bool diagnostics_wanted_on_stderr(char** envp) {
    const std::size_t name_length = std::strlen(kVariable);
    for (char** entry = envp; entry && *entry; ++entry) {
        if (std::strncmp(*entry, kVariable, name_length) == 0 && (*entry)[name_length] == '=') {
            return std::strcmp(*entry + name_length + 1, "stderr") == 0;
        }
    }
    return true;
}

void divert_stdout_while_loading(int, char**, char** envp) {
    to_stderr = diagnostics_wanted_on_stderr(envp);
    if (!to_stderr) return;
    saved_stdout = ::dup(STDOUT_FILENO);
    if (saved_stdout >= 0 && ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        ::close(saved_stdout);
        saved_stdout = -1;
    }
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
        if (to_stderr) setenv(kVariable, "stderr", 1);
    }
} restore_stdout;

}  // namespace
