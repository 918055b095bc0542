// A host that loads the engine library at run time, as a desktop host does, and then has a
// plugin built against the library construct two engines. Usage: HOST LIBRARY PLUGIN.
#include <dlfcn.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    if (dlopen(argv[1], RTLD_NOW | RTLD_GLOBAL) == nullptr) {
        std::printf("dlopen failed: %s\n", dlerror());
        return 1;
    }
    std::printf("loaded\n");
    void* plugin = dlopen(argv[2], RTLD_NOW);
    if (plugin == nullptr) return 1;
    using Construct = const char* (*)();
    const auto construct = reinterpret_cast<Construct>(dlsym(plugin, "construct_engine"));
    if (construct == nullptr) return 1;
    for (int i = 0; i < 2; ++i) std::printf("engine: %s\n", construct());
    return 0;
}
