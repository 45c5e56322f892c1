// The decoded DNS reply as readable lines: the four counts, a line each for a response code
// that is not 0, a truncated reply and a reply without a question, then one line per record
// held.
#pragma once

#include "dns/dns_message.h"

#include <cstdio>

// Writes the lines to `out`. Names and data are written as received, except that control
// characters and bytes above 126 are shown as \DDD (three decimal digits), so a reply cannot
// send commands to the terminal.
void dns_write_response(const dns_response* response, std::FILE* out);

// The same lines on standard output.
void dns_print_response(const dns_response* response);
