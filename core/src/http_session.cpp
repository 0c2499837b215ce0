#include "tessaly/http_session.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <limits>
#include <string_view>
#include <system_error>
#include <utility>

#include "curl_handles.h"
#include "tessaly/system/io.h"
#include "tessaly/system/system_error.h"
#include "tessaly/system/unique_fd.h"

namespace tessaly {

namespace {

namespace fs = std::filesystem;

constexpr long maxRedirects = 10;
constexpr long connectTimeoutSeconds = 30;
constexpr long lowSpeedBytesPerSecond = 1;
constexpr long lowSpeedSeconds = 60;
// How long a wait for the network may last before the stop token is looked at again,
// should a wake-up ever be missed.
constexpr int pollMilliseconds = 1000;

// What the callbacks of one transfer share with it.
struct TransferState {
    std::stop_token stop;
    std::uint64_t limit = 0;     // largest body taken
    std::uint64_t received = 0;  // body bytes so far
    bool tooLarge = false;
    std::string* body = nullptr;  // `get` collects here...
    int fd = -1;                  // ...`download` writes here
    int writeError = 0;           // errno of a failed write to `fd`
    std::exception_ptr thrown{};  // must not cross libcurl's C frames; rethrown after
};

// Takes `size` more bytes, or says why not.
bool admit(TransferState& state, std::size_t size) {
    if (size > state.limit - state.received) {
        state.tooLarge = true;
        return false;
    }
    state.received += size;
    return true;
}

std::size_t appendToBody(char* data, std::size_t, std::size_t size, void* user) {
    auto& state = *static_cast<TransferState*>(user);
    if (!admit(state, size)) return CURL_WRITEFUNC_ERROR;
    try {
        state.body->append(data, size);
    } catch (...) {
        state.thrown = std::current_exception();
        return CURL_WRITEFUNC_ERROR;
    }
    return size;
}

std::size_t writeToFile(char* data, std::size_t, std::size_t size, void* user) {
    auto& state = *static_cast<TransferState*>(user);
    if (!admit(state, size)) return CURL_WRITEFUNC_ERROR;
    if (!System::writeAll(state.fd, {data, size})) {
        state.writeError = errno;
        return CURL_WRITEFUNC_ERROR;
    }
    return size;
}

int abortWhenStopped(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<TransferState*>(user)->stop.stop_requested() ? 1 : 0;
}

std::string failure(const std::string& url, std::string_view reason) {
    return "GET " + url + ": " + std::string(reason);
}

template <typename Value>
void set(CURL* easy, const std::string& url, CURLoption option, Value value) {
    if (const CURLcode rc = curl_easy_setopt(easy, option, value); rc != CURLE_OK)
        throw TransportError(failure(url, curl_easy_strerror(rc)));
}

// A handle for `url` with what every request shares: https only, verification on, the
// stop token polled while the transfer runs.
Curl::Easy prepare(const std::string& url, const HttpSession::Options& options,
                   TransferState& state, char* errorBuffer) {
    Curl::Easy easy = Curl::makeEasy();
    CURL* h = easy.get();
    set(h, url, CURLOPT_ERRORBUFFER, errorBuffer);
    set(h, url, CURLOPT_URL, url.c_str());
    set(h, url, CURLOPT_PROTOCOLS_STR, "https");
    set(h, url, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    set(h, url, CURLOPT_NOSIGNAL, 1L);
    set(h, url, CURLOPT_SSL_VERIFYPEER, 1L);
    set(h, url, CURLOPT_SSL_VERIFYHOST, 2L);
    set(h, url, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    if (!options.caFile.empty()) set(h, url, CURLOPT_CAINFO, options.caFile.c_str());
    // Refuses an announced length beyond the limit before any of the body comes.
    const auto announcedLimit = std::min<std::uint64_t>(
        state.limit, static_cast<std::uint64_t>(std::numeric_limits<curl_off_t>::max()));
    set(h, url, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(announcedLimit));
    set(h, url, CURLOPT_NOPROGRESS, 0L);
    set(h, url, CURLOPT_XFERINFOFUNCTION, &abortWhenStopped);
    set(h, url, CURLOPT_XFERINFODATA, &state);
    return easy;
}

void expectOk(CURLMcode code, const std::string& url) {
    if (code != CURLM_OK) throw TransportError(failure(url, curl_multi_strerror(code)));
}

// Keeps an easy handle in a multi handle for as long as it lives.
class Attachment {
  public:
    Attachment(CURLM* multi, CURL* easy, const std::string& url) : multi_(multi), easy_(easy) {
        expectOk(curl_multi_add_handle(multi, easy), url);
    }
    ~Attachment() { curl_multi_remove_handle(multi_, easy_); }
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;

  private:
    CURLM* multi_;
    CURL* easy_;
};

// Runs the transfer to its end and gives libcurl's result. It runs under a multi handle
// only so that a stop request can wake the wait for the network at once.
CURLcode perform(CURL* easy, const std::string& url, const std::stop_token& stop) {
    if (stop.stop_requested()) return CURLE_ABORTED_BY_CALLBACK;
    const Curl::Multi multi = Curl::makeMulti();
    const Attachment attachment(multi.get(), easy, url);
    const std::stop_callback wake(stop, [&multi] { curl_multi_wakeup(multi.get()); });
    for (int running = 1;;) {
        expectOk(curl_multi_perform(multi.get(), &running), url);
        if (running == 0) break;
        if (stop.stop_requested()) return CURLE_ABORTED_BY_CALLBACK;
        expectOk(curl_multi_poll(multi.get(), nullptr, 0, pollMilliseconds, nullptr), url);
    }
    int left = 0;
    while (const CURLMsg* message = curl_multi_info_read(multi.get(), &left))
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy)
            return message->data.result;
    return CURLE_FAILED_INIT;
}

// Throws the TransportError a failed transfer deserves.
[[noreturn]] void fail(const std::string& url, CURLcode result, const TransferState& state,
                       const char* errorBuffer) {
    if (state.stop.stop_requested()) throw TransportError(failure(url, "stopped"));
    if (state.tooLarge || result == CURLE_FILESIZE_EXCEEDED)
        throw TooLargeError(
            failure(url, "the body is larger than " + std::to_string(state.limit) + " bytes"));
    std::string reason = curl_easy_strerror(result);
    if (errorBuffer[0] != '\0') reason += std::string(" (") + errorBuffer + ")";
    if (result == CURLE_PEER_FAILED_VERIFICATION || result == CURLE_SSL_CONNECT_ERROR ||
        result == CURLE_SSL_CACERT_BADFILE || result == CURLE_SSL_CERTPROBLEM)
        throw TlsError(failure(url, reason));
    throw TransportError(failure(url, reason));
}

long responseCode(CURL* easy) {
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

// Removes the file it was given unless told to keep it.
class PartialFile {
  public:
    explicit PartialFile(fs::path file) : file_(std::move(file)) {}
    ~PartialFile() {
        if (!kept_) ::unlink(file_.c_str());
    }
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;
    void keep() { kept_ = true; }

  private:
    fs::path file_;
    bool kept_ = false;
};

}  // namespace

HttpSession::HttpSession() = default;

HttpSession::HttpSession(Options options) : options_(std::move(options)) {}

const HttpSession& HttpSession::shared() {
    static const HttpSession session;
    return session;
}

HttpSession::Response HttpSession::get(const std::string& url, std::chrono::milliseconds timeout,
                                       std::stop_token stop) const {
    Response response;
    TransferState state{.stop = std::move(stop), .limit = maxResponseBytes};
    state.body = &response.body;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    const Curl::Easy easy = prepare(url, options_, state, errorBuffer);
    // libcurl reads 0 as "no time-out"; a time-out already spent still ends the request.
    set(easy.get(), url, CURLOPT_TIMEOUT_MS, std::max<long>(1, timeout.count()));
    set(easy.get(), url, CURLOPT_FOLLOWLOCATION, 1L);
    set(easy.get(), url, CURLOPT_MAXREDIRS, maxRedirects);
    set(easy.get(), url, CURLOPT_WRITEFUNCTION, &appendToBody);
    set(easy.get(), url, CURLOPT_WRITEDATA, &state);

    const CURLcode result = perform(easy.get(), url, state.stop);
    if (state.thrown) std::rethrow_exception(state.thrown);
    if (result != CURLE_OK) fail(url, result, state, errorBuffer);
    response.status = responseCode(easy.get());
    return response;
}

long HttpSession::download(const std::string& url, const fs::path& file,
                           std::stop_token stop) const {
    System::UniqueFd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd) System::throwSystem("open", file.native(), errno);
    PartialFile partial(file);

    TransferState state{.stop = std::move(stop), .limit = options_.maxDownloadBytes};
    state.fd = fd.get();
    char errorBuffer[CURL_ERROR_SIZE] = {};
    const Curl::Easy easy = prepare(url, options_, state, errorBuffer);
    set(easy.get(), url, CURLOPT_FOLLOWLOCATION, 1L);
    set(easy.get(), url, CURLOPT_MAXREDIRS, maxRedirects);
    set(easy.get(), url, CURLOPT_CONNECTTIMEOUT, connectTimeoutSeconds);
    set(easy.get(), url, CURLOPT_LOW_SPEED_LIMIT, lowSpeedBytesPerSecond);
    set(easy.get(), url, CURLOPT_LOW_SPEED_TIME, lowSpeedSeconds);
    set(easy.get(), url, CURLOPT_WRITEFUNCTION, &writeToFile);
    set(easy.get(), url, CURLOPT_WRITEDATA, &state);

    const CURLcode result = perform(easy.get(), url, state.stop);
    if (state.writeError != 0) System::throwSystem("write", file.native(), state.writeError);
    if (result != CURLE_OK) fail(url, result, state, errorBuffer);
    if (::fsync(fd.get()) != 0) System::throwSystem("fsync", file.native(), errno);
    if (::close(fd.release()) != 0) System::throwSystem("close", file.native(), errno);
    partial.keep();
    return responseCode(easy.get());
}

}  // namespace tessaly
