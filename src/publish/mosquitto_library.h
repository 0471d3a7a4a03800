#pragma once
// libmosquitto, opened when a publisher first runs rather than loaded with
// the program: it brings OpenSSL along, nearly 2 MB resident in every
// process linked to it, publishing or not, and most consoles never publish.

#include <mosquitto.h>

#include <string>

// The entry points the publisher calls, named as in mosquitto.h without
// their "mosquitto_".
#define KELMORA_MOSQUITTO_CALLS(CALL)                                                              \
    CALL(lib_init)                                                                                 \
    CALL(new)                                                                                      \
    CALL(destroy)                                                                                  \
    CALL(connect_async)                                                                            \
    CALL(disconnect)                                                                               \
    CALL(connack_string)                                                                           \
    CALL(strerror)                                                                                 \
    CALL(int_option)                                                                               \
    CALL(will_set)                                                                                 \
    CALL(username_pw_set)                                                                          \
    CALL(tls_set)                                                                                  \
    CALL(connect_callback_set)                                                                     \
    CALL(publish_callback_set)                                                                     \
    CALL(log_callback_set)                                                                         \
    CALL(publish)                                                                                  \
    CALL(loop)                                                                                     \
    CALL(socket)                                                                                   \
    CALL(want_write)

struct MosquittoLibrary {
#define KELMORA_MOSQUITTO_POINTER(name) decltype(&::mosquitto_##name) name##_ = nullptr;
    KELMORA_MOSQUITTO_CALLS(KELMORA_MOSQUITTO_POINTER)
#undef KELMORA_MOSQUITTO_POINTER
};

// Opens and initialises the library once for the process. Null when it
// cannot be opened or lacks an entry point, with why in `error`.
const MosquittoLibrary* OpenMosquitto(std::string& error);
