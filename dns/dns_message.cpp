#include "dns/dns_message.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>

namespace {

constexpr int kHeaderSize = DNS_HEADER_SIZE;
constexpr int kFixedRecordBytes = 10; // type, class, ttl, data length
constexpr int kMaxLabel = 63;
// A name can hold no more pointers than this without going round in a loop: each target is
// remembered, and a chain this long is treated as one.
constexpr int kMaxJumps = 128;

uint16_t get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
uint32_t get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}
void put16(uint8_t* p, int v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

// An identifier nobody can guess without seeing the query. Should the system's random source
// fail, the clock's low bits still vary from query to query.
uint16_t random_identifier() {
    try {
        std::random_device source;
        return static_cast<uint16_t>(source());
    } catch (...) {
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        return static_cast<uint16_t>(now ^ (now >> 16) ^ (now >> 32));
    }
}

// ASCII letters compare in any case, every other byte as itself: names are matched the way
// servers match them.
bool same_name_byte(uint8_t a, uint8_t b) {
    auto lower = [](uint8_t c) { return c >= 'A' && c <= 'Z' ? static_cast<uint8_t>(c + 32) : c; };
    return lower(a) == lower(b);
}

// Appends one label to a dotted text of at most `cap` characters; false when it does not fit.
bool append_label(char* out, int* used, int cap, const uint8_t* chars, int n) {
    const int dot = *used > 0 ? 1 : 0;
    if (*used + dot + n > cap) return false;
    if (dot) out[(*used)++] = '.';
    std::memcpy(out + *used, chars, static_cast<size_t>(n));
    *used += n;
    out[*used] = '\0';
    return true;
}

// Types whose data is (or begins with) a domain name: a decoding failure there is a broken
// reply. The data of other types is decoded as a name only for show.
bool data_is_a_name(uint16_t type) {
    // NS, MD, MF, CNAME, SOA, MB, MG, MR, PTR
    constexpr uint16_t kNameTypes[] = {DNS_TYPE_NS, 3, 4, DNS_TYPE_CNAME, 6, 7, 8, 9, DNS_TYPE_PTR};
    for (uint16_t t : kNameTypes)
        if (t == type) return true;
    return false;
}

// How the records of each section are read, and where their count is kept.
struct Section {
    int header_offset; // of the count in the header
    dns_rr* records;
    int* count;
    bool addresses; // type 1 data is an address (else every record's data is a name)
};

int parse_record(const uint8_t* m, int length, int* pos, bool addresses, dns_rr* rr) {
    std::memset(rr, 0, sizeof *rr);
    int consumed = 0;
    if (int rc = dns_decode_name(m, length, *pos, &consumed, rr->name); rc != 0) return rc;
    int at = *pos + consumed;
    if (length - at < kFixedRecordBytes) return DNSERR_TRUNCATED;
    rr->type = get16(m + at);
    rr->rclass = get16(m + at + 2);
    rr->ttl = get32(m + at + 4);
    rr->length = get16(m + at + 8);
    at += kFixedRecordBytes;
    if (length - at < rr->length) return DNSERR_TRUNCATED;

    if (addresses && rr->type == DNS_TYPE_A) {
        if (rr->length > DNS_NAME_MAX) return DNSERR_DATA_TOO_LONG;
        std::memcpy(rr->data, m + at, rr->length);
        dns_addr_text(m + at, rr->length, rr->text, sizeof rr->text);
    } else {
        const int rc = dns_decode_name(m, length, at, &consumed, rr->data);
        if (rc != 0 && data_is_a_name(rr->type)) return rc;
        if (rc != 0) rr->data[0] = '\0';
        std::memcpy(rr->text, rr->data, sizeof rr->text);
    }
    *pos = at + rr->length;
    return 0;
}

} // namespace

const char* dns_error_text(int code) {
    switch (code) {
    case DNSERR_BAD_NAME:
        return "the name cannot be sent (empty label, label above 63 characters, or too long)";
    case DNSERR_TRUNCATED:
        return "the reply ends inside its header, a name or a record";
    case DNSERR_TOO_MANY_RECORDS:
        return "a section of the reply holds more than 25 records";
    case DNSERR_NAME_TOO_LONG:
        return "a name in the reply is longer than 1024 characters";
    case DNSERR_POINTER_LOOP:
        return "compression pointers in the reply form a loop";
    case DNSERR_DATA_TOO_LONG:
        return "address data in the reply is longer than 1024 bytes";
    default:
        return "unknown DNS error";
    }
}

int dns_encode_name(uint8_t* out, int size, const char* name) {
    if (name == nullptr) name = "";
    const size_t len = std::strlen(name);
    // One trailing '.' only marks the name as complete; "." alone is the root.
    const size_t body = len > 0 && name[len - 1] == '.' ? len - 1 : len;
    int used = 0;
    size_t start = 0;
    while (start < body) {
        const char* dot = static_cast<const char*>(std::memchr(name + start, '.', body - start));
        const size_t end = dot ? static_cast<size_t>(dot - name) : body;
        const size_t n = end - start;
        if (n == 0 || n > kMaxLabel) return DNSERR_BAD_NAME;
        if (used + 1 + static_cast<int>(n) + 1 > size) return DNSERR_BAD_NAME;
        out[used++] = static_cast<uint8_t>(n);
        std::memcpy(out + used, name + start, n);
        used += static_cast<int>(n);
        start = end + 1;
        if (dot && start == body) return DNSERR_BAD_NAME; // "a..": the last label is empty
    }
    if (used + 1 > size) return DNSERR_BAD_NAME;
    out[used++] = 0;
    return used;
}

int dns_build_query(int type, int qclass, const char* name, uint8_t* buffer, int size) {
    if (buffer == nullptr || size < kHeaderSize) return DNSERR_BAD_NAME;
    std::memset(buffer, 0, static_cast<size_t>(size));
    put16(buffer, random_identifier());
    buffer[2] = 0x01; // recursion desired; a standard query
    buffer[3] = 0x00;
    put16(buffer + 4, 1);
    // The same limit as the decoder's: a name it could not take back is not sent.
    const int room = size - kHeaderSize - DNS_QUESTION_TAIL_SIZE;
    const int encoded = dns_encode_name(
        buffer + kHeaderSize, room < DNS_WIRE_NAME_SIZE ? room : DNS_WIRE_NAME_SIZE, name);
    if (encoded < 0) return encoded;
    uint8_t* tail = buffer + kHeaderSize + encoded;
    put16(tail, type);
    put16(tail + 2, qclass);
    return kHeaderSize + encoded + DNS_QUESTION_TAIL_SIZE;
}

int dns_decode_name(const uint8_t* message, int length, int offset, int* consumed, char* out) {
    out[0] = '\0';
    int used = 0;
    int pos = offset;
    int taken = 0; // bytes of the name where it starts
    bool jumped = false;
    int targets[kMaxJumps];
    int jumps = 0;
    for (;;) {
        if (pos < 0 || pos >= length) return DNSERR_TRUNCATED;
        const uint8_t b = message[pos];
        if (b == 0) {
            if (!jumped) taken += 1;
            break;
        }
        if (b >= 192) {
            if (pos + 1 >= length) return DNSERR_TRUNCATED;
            const int target = (b - 192) * 256 + message[pos + 1];
            if (!jumped) taken += 2;
            jumped = true;
            if (jumps == kMaxJumps) return DNSERR_POINTER_LOOP;
            for (int i = 0; i < jumps; ++i)
                if (targets[i] == target) return DNSERR_POINTER_LOOP;
            targets[jumps++] = target;
            pos = target;
            continue;
        }
        if (length - pos - 1 < b) return DNSERR_TRUNCATED;
        if (!append_label(out, &used, DNS_NAME_MAX, message + pos + 1, b))
            return DNSERR_NAME_TOO_LONG;
        if (!jumped) taken += 1 + b;
        pos += 1 + b;
    }
    if (consumed) *consumed = taken;
    return 0;
}

int dns_labels_to_text(const uint8_t* labels, int length, char* out, int size) {
    if (out == nullptr || size <= 0) return 1;
    std::memset(out, 0, static_cast<size_t>(size));
    int used = 0;
    auto put = [&](const void* bytes, int n) { // cut at the buffer, which keeps its terminator
        const int fits = n < size - 1 - used ? n : size - 1 - used;
        std::memcpy(out + used, bytes, static_cast<size_t>(fits));
        used += fits;
    };
    int pos = 0;
    while (pos < length) {
        const int n = labels[pos++];
        if (n == 0) {
            if (used > 0 && out[used - 1] == '.') out[--used] = '\0';
            return 0;
        }
        const int have = n < length - pos ? n : length - pos;
        put(labels + pos, have);
        put(".", 1);
        pos += have;
    }
    return 1;
}

char* dns_addr_text(const uint8_t* raw, int count, char* out, int size) {
    if (out == nullptr || size <= 0) return out;
    uint8_t a[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4 && i < count; ++i)
        a[i] = raw[i];
    const long limit = count > 0 ? static_cast<long>(count) * 4 : 1;
    const size_t room = static_cast<size_t>(limit < size ? limit : size);
    std::snprintf(out, room, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
    return out;
}

bool dns_is_reply_to(const uint8_t* query, int query_length, const uint8_t* reply,
                     int reply_length) {
    constexpr int kShortestQuery = kHeaderSize + 1 + DNS_QUESTION_TAIL_SIZE; // the root name
    if (query == nullptr || reply == nullptr || query_length < kShortestQuery ||
        reply_length < kHeaderSize)
        return false;
    if (get16(reply) != get16(query) || (get16(reply + 2) & DNS_FLAG_QR) == 0) return false;
    const int questions = get16(reply + 4);
    if (questions == 0) return true;
    if (questions != 1) return false;
    // The query's question (name, then type and class) runs to its end; the reply's must
    // match it: the name in any case, type and class exactly.
    const int name_end = query_length - 4;
    if (reply_length < query_length) return false;
    for (int i = kHeaderSize; i < name_end; ++i)
        if (!same_name_byte(query[i], reply[i])) return false;
    return std::memcmp(query + name_end, reply + name_end, 4) == 0;
}

int dns_parse_response(const uint8_t* message, int length, const char* name, dns_response* out) {
    out->questions = out->answer_count = out->authority_count = out->additional_count = 0;
    out->flags = 0;
    if (message == nullptr || length < kHeaderSize) return DNSERR_TRUNCATED;
    uint8_t question[DNS_WIRE_NAME_SIZE];
    const int encoded = dns_encode_name(question, sizeof question, name);
    if (encoded < 0) return encoded;
    out->flags = get16(message + 2);
    out->questions = get16(message + 4);

    const Section sections[] = {
        {6, out->answers, &out->answer_count, true},
        {8, out->authorities, &out->authority_count, false},
        {10, out->additionals, &out->additional_count, true},
    };
    // Past the one question, type and class; a reply without a question has none to skip.
    int pos = out->questions == 0 ? kHeaderSize : kHeaderSize + encoded + 4;
    for (const Section& s : sections) {
        const int stated = get16(message + s.header_offset);
        for (int i = 0; i < stated; ++i) {
            if (i == DNS_MAX_RECORDS) return DNSERR_TOO_MANY_RECORDS;
            if (int rc = parse_record(message, length, &pos, s.addresses, &s.records[i]); rc != 0)
                return rc;
            *s.count = i + 1;
        }
    }
    return 0;
}
