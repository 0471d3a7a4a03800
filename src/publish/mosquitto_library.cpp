#include "mosquitto_library.h"

#include <dlfcn.h>

namespace {
// The soname of the libmosquitto the build's header belongs to.
constexpr const char* kSoname = "libmosquitto.so.1";

struct Opened {
    MosquittoLibrary library;
    std::string error;
};

Opened openLibrary() {
    Opened opened;
    void* handle = ::dlopen(kSoname, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        opened.error = ::dlerror();
        return opened;
    }
    // Never closed: the library's threads and callbacks may outlive any
    // one publisher.
#define KELMORA_MOSQUITTO_RESOLVE(name)                                                            \
    opened.library.name##_ =                                                                       \
        reinterpret_cast<decltype(&::mosquitto_##name)>(::dlsym(handle, "mosquitto_" #name));      \
    if (opened.library.name##_ == nullptr) {                                                       \
        opened.error = std::string(kSoname) + " has no mosquitto_" #name;                          \
        return opened;                                                                             \
    }
    KELMORA_MOSQUITTO_CALLS(KELMORA_MOSQUITTO_RESOLVE)
#undef KELMORA_MOSQUITTO_RESOLVE
    opened.library.lib_init_();
    return opened;
}
} // namespace

const MosquittoLibrary* OpenMosquitto(std::string& error) {
    static const Opened opened = openLibrary(); // once, thread-safe
    if (!opened.error.empty()) {
        error = opened.error;
        return nullptr;
    }
    return &opened.library;
}
