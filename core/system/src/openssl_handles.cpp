#include "tessaly/system/openssl_handles.h"

#include <openssl/err.h>

#include <string>

namespace tessaly::System {

std::string openSslReason() {
    const unsigned long code = ERR_peek_last_error();
    ERR_clear_error();
    if (code == 0) return "unknown OpenSSL failure";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

}  // namespace tessaly::System
