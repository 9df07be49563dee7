// libcurl, loaded when the first download is about to start rather than
// when the program starts: most runs never download anything, and mapping
// libcurl with its thirty-odd libraries costs every start about 10 ms.
#pragma once

#include <curl/curl.h>

namespace zvek {

struct CurlLibrary {
    CURL* (*easy_init)();
    void (*easy_cleanup)(CURL*);
    CURLcode (*easy_setopt)(CURL*, CURLoption, ...);
    CURLcode (*easy_pause)(CURL*, int);
    CURLM* (*multi_init)();
    CURLMcode (*multi_cleanup)(CURLM*);
    CURLMcode (*multi_add_handle)(CURLM*, CURL*);
    CURLMcode (*multi_remove_handle)(CURLM*, CURL*);
    CURLMcode (*multi_perform)(CURLM*, int*);
    CURLMsg* (*multi_info_read)(CURLM*, int*);
    CURLMcode (*multi_poll)(CURLM*, struct curl_waitfd[], unsigned int, int, int*);
};

// The library, initialised; nullptr when it cannot be loaded (the reason is
// written to standard error once). Thread-safe.
const CurlLibrary* Curl();

}  // namespace zvek
