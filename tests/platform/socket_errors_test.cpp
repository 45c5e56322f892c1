// One numbering for socket errors: POSIX values translated to their codes, the runtime's own
// numbers kept, and names and texts from the same rows.
#include "platform/socket_errors.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace {

TEST(ErrorNumbering, SocketErrorsGetTheirCodesRuntimeNumbersStay) {
    struct Case {
        int posix, code;
    };
    const Case cases[] = {{ECONNREFUSED, 10061}, {ETIMEDOUT, 10060},  {ENOTSOCK, 10038},
                          {EBADF, 10009},        {EADDRINUSE, 10048}, {EINPROGRESS, 10036},
                          {ECONNRESET, 10054},   {EACCES, 13},        {EMFILE, 24},
                          {ENFILE, 23},          {ENOMEM, 12},        {EPIPE, 32},
                          {ENOENT, 2},           {ENAMETOOLONG, 36}};
    for (const auto& c : cases)
        EXPECT_EQ(plat::translate_errno(c.posix), c.code) << c.posix;
    EXPECT_EQ(plat::translate_errno(EAGAIN, plat::WouldBlockMeans::WouldBlock), 10035);
    EXPECT_EQ(plat::translate_errno(EAGAIN, plat::WouldBlockMeans::TimedOut), 10060);

    // Names and texts come from the same rows as the translation.
    EXPECT_STREQ(plat::error_name(10060), "WSAETIMEDOUT");
    EXPECT_STREQ(plat::error_name(10035), "WSAEWOULDBLOCK");
    EXPECT_EQ(plat::error_name(13), nullptr);
    EXPECT_EQ(plat::error_text(10061), plat::error_text(ECONNREFUSED));
    EXPECT_EQ(plat::error_text(13), plat::error_text(EACCES));
}

} // namespace
