#pragma once
// Owners of libcurl's handles. Each constructor initialises libcurl first, once per process.

#include <curl/curl.h>

#include <memory>

namespace tessaly {

namespace Curl {

// Runs curl_global_init exactly once, whichever thread comes first; throws TransportError
// when it failed.
void ensureGlobalInit();

namespace Detail {
struct EasyDeleter {
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
struct MultiDeleter {
    void operator()(CURLM* handle) const noexcept { curl_multi_cleanup(handle); }
};
struct UrlDeleter {
    void operator()(CURLU* handle) const noexcept { curl_url_cleanup(handle); }
};
}  // namespace Detail

using Easy = std::unique_ptr<CURL, Detail::EasyDeleter>;
using Multi = std::unique_ptr<CURLM, Detail::MultiDeleter>;
using Url = std::unique_ptr<CURLU, Detail::UrlDeleter>;

// Each throws std::bad_alloc when libcurl cannot make the handle.
Easy makeEasy();
Multi makeMulti();
Url makeUrl();

// Owns a string libcurl allocated.
struct FreeDeleter {
    void operator()(char* text) const noexcept { curl_free(text); }
};
using String = std::unique_ptr<char, FreeDeleter>;

}  // namespace Curl

}  // namespace tessaly
