// Error texts as wide strings.
#pragma once

// A wide text for an error code, stored through `where`; the caller owns it and releases it
// with sock_errtext_free. At least `size` wide characters are allocated. Returns `where`.
wchar_t** sock_errtext(int code, wchar_t** where, int size);
void sock_errtext_free(wchar_t* text);
