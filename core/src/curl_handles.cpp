#include "curl_handles.h"

#include <new>
#include <string>

#include "tessaly/http_session.h"

namespace tessaly {

namespace Curl {

void ensureGlobalInit() {
    // A function-local static: the first caller initialises, the others wait for it.
    static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (result != CURLE_OK)
        throw TransportError(std::string("curl_global_init: ") + curl_easy_strerror(result));
}

Easy makeEasy() {
    ensureGlobalInit();
    Easy handle(curl_easy_init());
    if (!handle) throw std::bad_alloc();
    return handle;
}

Multi makeMulti() {
    ensureGlobalInit();
    Multi handle(curl_multi_init());
    if (!handle) throw std::bad_alloc();
    return handle;
}

Url makeUrl() {
    ensureGlobalInit();
    Url handle(curl_url());
    if (!handle) throw std::bad_alloc();
    return handle;
}

}  // namespace Curl

}  // namespace tessaly
