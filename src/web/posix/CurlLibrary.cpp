#include "web/CurlLibrary.h"

#include <dlfcn.h>

#include <cstdio>
#include <mutex>

namespace zvek {

namespace {

// The run-time name of the library whose headers we build against.
constexpr const char* kSoName = "libcurl.so.4";

template <typename Function>
bool Bind(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
    return function != nullptr;
}

const CurlLibrary* Load() {
    static CurlLibrary curl;
    void* library = ::dlopen(kSoName, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "zveklc: downloads need %s: %s\n", kSoName, ::dlerror());
        return nullptr;
    }
    CURLcode (*global_init)(long) = nullptr;
    const bool bound =
        Bind(library, "curl_global_init", global_init) && Bind(library, "curl_easy_init", curl.easy_init) &&
        Bind(library, "curl_easy_cleanup", curl.easy_cleanup) && Bind(library, "curl_easy_setopt", curl.easy_setopt) &&
        Bind(library, "curl_easy_pause", curl.easy_pause) && Bind(library, "curl_multi_init", curl.multi_init) &&
        Bind(library, "curl_multi_cleanup", curl.multi_cleanup) &&
        Bind(library, "curl_multi_add_handle", curl.multi_add_handle) &&
        Bind(library, "curl_multi_remove_handle", curl.multi_remove_handle) &&
        Bind(library, "curl_multi_perform", curl.multi_perform) &&
        Bind(library, "curl_multi_info_read", curl.multi_info_read) &&
        Bind(library, "curl_multi_poll", curl.multi_poll);
    if (!bound || global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        std::fprintf(stderr, "zveklc: %s is too old or could not start\n", kSoName);
        return nullptr;
    }
    return &curl;  // stays loaded until the process ends
}

}  // namespace

const CurlLibrary* Curl() {
    static const CurlLibrary* const loaded = Load();
    return loaded;
}

}  // namespace zvek
