// DNS messages (RFC 1035): the one-question query, names in their wire form, and the reply
// decoded into a fixed-size record. The decoder knows the received length and never reads past
// it; every bound below that a reply breaks is reported by its own result code.
#pragma once

#include <cstdint>

inline constexpr int DNS_MAX_RECORDS = 25; // records kept per section
inline constexpr int DNS_TEXT_SIZE = 1025; // name, data and text fields, terminator included
inline constexpr int DNS_NAME_MAX = DNS_TEXT_SIZE - 1;
inline constexpr int DNS_MESSAGE_SIZE = 65536; // room for the largest datagram
// The longest wire form of a name: a text of DNS_NAME_MAX characters becomes one length byte
// more and a final zero byte.
inline constexpr int DNS_WIRE_NAME_SIZE = DNS_NAME_MAX + 2;
// The fixed parts around a query's name: the header, and the question's type and class.
inline constexpr int DNS_HEADER_SIZE = 12;
inline constexpr int DNS_QUESTION_TAIL_SIZE = 4;
// The largest query: the header and a question with the longest name.
inline constexpr int DNS_QUERY_MAX = DNS_HEADER_SIZE + DNS_WIRE_NAME_SIZE + DNS_QUESTION_TAIL_SIZE;

// The record types the tools ask for and the printer names, and the Internet class.
inline constexpr uint16_t DNS_TYPE_A = 1;
inline constexpr uint16_t DNS_TYPE_NS = 2;
inline constexpr uint16_t DNS_TYPE_CNAME = 5;
inline constexpr uint16_t DNS_TYPE_PTR = 12;
inline constexpr uint16_t DNS_CLASS_IN = 1;

// Results beyond those of the socket library (-1, SOCKERR_FAIL): the queried name cannot be
// sent, or the reply breaks a bound. Replies are decoded up to the broken bound only.
inline constexpr int DNSERR_BAD_NAME = -1101;         // empty label, label above 63, too long
inline constexpr int DNSERR_TRUNCATED = -1102;        // reply ends inside a header, name or record
inline constexpr int DNSERR_TOO_MANY_RECORDS = -1103; // a section holds more than 25 records
inline constexpr int DNSERR_NAME_TOO_LONG = -1104;    // a name longer than 1024 characters
inline constexpr int DNSERR_POINTER_LOOP = -1105;     // compression pointers that come back
inline constexpr int DNSERR_DATA_TOO_LONG = -1106;    // address data longer than the data field

// Bits of the header's flags word (bytes 2 and 3 of a message).
inline constexpr uint16_t DNS_FLAG_QR = 0x8000;    // a response, not a query
inline constexpr uint16_t DNS_FLAG_TC = 0x0200;    // truncated: records were left out
inline constexpr uint16_t DNS_RCODE_MASK = 0x000F; // the response code; 0 is no error

// A short text for each DNSERR_ code; "unknown DNS error" for any other value.
const char* dns_error_text(int code);

// One decoded resource record. Numbers are in host byte order.
struct dns_rr {
    char name[DNS_TEXT_SIZE]; // owner name, dotted
    uint16_t type;
    uint16_t rclass;
    uint32_t ttl;
    uint16_t length; // data length as stated in the record
    // Type 1 (in the answer and additional sections): the raw address bytes and a zero byte.
    // Other types: the data decoded as a domain name (empty when it is none).
    char data[DNS_TEXT_SIZE];
    // Type 1: the dotted text of the first 4 data bytes. Other types: a copy of data.
    char text[DNS_TEXT_SIZE];
};

// A decoded reply. The counts are the numbers of records held, which for a reply that keeps
// every bound are the counts its header states.
struct dns_response {
    int questions;
    dns_rr answers[DNS_MAX_RECORDS];
    int answer_count;
    dns_rr authorities[DNS_MAX_RECORDS];
    int authority_count;
    dns_rr additionals[DNS_MAX_RECORDS];
    int additional_count;
    uint16_t flags; // the header's flags word: DNS_FLAG_QR, DNS_FLAG_TC, the response code
};

// The wire form of a dotted name into out[size]: length-prefixed labels and a zero byte. One
// trailing '.' is allowed ("example.com." encodes as "example.com"); "" and "." are the root.
// Returns the bytes written, or DNSERR_BAD_NAME for an empty label, a label of more than 63
// characters or a form that does not fit.
int dns_encode_name(uint8_t* out, int size, const char* name);

// The query message into buffer[size] (cleared first): a random identifier, so that a reply
// cannot be forged without seeing the query, recursion desired, one question of `type` and
// `qclass`. Returns its length (17 + the encoded name without its zero byte) or DNSERR_BAD_NAME
// (also when it does not fit).
int dns_build_query(int type, int qclass, const char* name, uint8_t* buffer, int size);

// The name at `offset` in message[length], following compression pointers, as dotted text into
// out[DNS_TEXT_SIZE]. *consumed is the size the name takes where it starts: its literal bytes
// plus 2 for a pointer or 1 for the final zero byte. Length bytes 64..191 are read as lengths;
// 192 and above are pointers. Returns 0, DNSERR_TRUNCATED, DNSERR_NAME_TOO_LONG or
// DNSERR_POINTER_LOOP.
int dns_decode_name(const uint8_t* message, int length, int offset, int* consumed, char* out);

// A label sequence without pointers as dotted text into out[size] (cleared first, always
// terminated): 0 when its zero label was reached, 1 when `length` ran out first (the text then
// keeps the '.' after its last label).
int dns_labels_to_text(const uint8_t* labels, int length, char* out, int size);

// The dotted text of the first 4 of `count` raw bytes (missing bytes read as 0), cut to
// count * 4 bytes with its terminator and to `size`. Returns out.
char* dns_addr_text(const uint8_t* raw, int count, char* out, int size);

// Whether reply[reply_length] answers query[query_length] (a message of dns_build_query): the
// same identifier, the response flag set, and either the query's one question (the name in any
// case, the same type and class) or no question at all, as a server may send with an error code.
bool dns_is_reply_to(const uint8_t* query, int query_length, const uint8_t* reply,
                     int reply_length);

// Decodes the reply message[length] to the query for `name` into *out. The question section is
// not parsed: the answers are taken to follow a question of `name` as dns_encode_name writes
// it, or to follow the header at once when the reply holds no question. Type 1 data in the answer
// and additional sections is an address; all other data is decoded as a name, and the stated data
// length moves on to the next record. Returns 0, or the first DNSERR_ bound broken; *out then holds
// the records decoded before it.
int dns_parse_response(const uint8_t* message, int length, const char* name, dns_response* out);
