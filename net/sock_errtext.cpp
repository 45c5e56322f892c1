#include "net/sock_errtext.h"

#include "platform/socket_errors.h"

#include <algorithm>
#include <cstdlib>
#include <string>

wchar_t** sock_errtext(int code, wchar_t** where, int size) {
    const std::string text = plat::error_text(code);
    const size_t chars = std::max<size_t>(text.size() + 1, size > 0 ? size_t(size) : 0);
    auto* wide = static_cast<wchar_t*>(std::calloc(chars, sizeof(wchar_t)));
    if (wide) {
        // Error texts are plain ASCII; widening byte by byte keeps them exact.
        for (size_t i = 0; i < text.size(); ++i)
            wide[i] = static_cast<unsigned char>(text[i]);
    }
    *where = wide;
    return where;
}

void sock_errtext_free(wchar_t* text) {
    std::free(text);
}
