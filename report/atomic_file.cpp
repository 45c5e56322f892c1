#include "report/atomic_file.h"

#include "platform/resolver.h"
#include "platform/sink_stream.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

namespace {

namespace fs = std::filesystem;

// As many links as the kernel follows in one path before it gives up (ELOOP).
constexpr int kMostLinks = 40;

// What an existing target that is no regular file is called in a refusal.
struct refused_kind {
    fs::file_type type;
    const char* name;
};
constexpr refused_kind kRefusedKinds[] = {
    {fs::file_type::directory, "a directory"}, {fs::file_type::character, "a character device"},
    {fs::file_type::block, "a block device"},  {fs::file_type::fifo, "a FIFO"},
    {fs::file_type::socket, "a socket"},
};

std::string quoted(const std::string& path) {
    return "'" + path + "'";
}

// Why `path` (its links followed) cannot be replaced by a report; empty when it is a regular
// file or does not exist yet.
std::string refusal(const std::string& path) {
    std::error_code ec;
    const fs::file_type type = fs::status(path, ec).type();
    if (type == fs::file_type::regular || type == fs::file_type::not_found) return "";
    if (type == fs::file_type::none) return quoted(path) + ": " + ec.message();
    const char* kind = "not a regular file";
    for (const auto& k : kRefusedKinds)
        if (k.type == type) kind = k.name;
    return quoted(path) + " is " + kind + ", not a regular file: reports never replace one";
}

// The temporary name does not end in ".prom", so a textfile collector skips it.
std::string temporary_of(const std::string& file) {
    return file + ".tmp." + std::to_string(plat::process_id());
}

// The message of a failed call; `error` is its errno, 0 when no call said why.
std::string failed(const std::string& what, const std::string& path, int error) {
    const std::string text = what + " " + quoted(path);
    return error ? text + ": " + std::strerror(error) : text;
}

// Creates the temporary file, refusing to follow anything already there.
std::FILE* create_temporary(const std::string& temp) {
    std::FILE* f = std::fopen(temp.c_str(), "wx");
    if (!f && errno == EEXIST) { // left by an earlier process with the same id
        std::remove(temp.c_str());
        f = std::fopen(temp.c_str(), "wx");
    }
    return f;
}

} // namespace

report_target report_target_of(const std::string& path) {
    if (path.empty()) return {"", "the file name is empty"};
    if (std::string why = refusal(path); !why.empty()) return {"", why};
    fs::path file = path;
    for (int links = 0;; ++links) {
        std::error_code ec;
        if (fs::symlink_status(file, ec).type() != fs::file_type::symlink) break;
        if (links == kMostLinks) return {"", failed("cannot follow", path, ELOOP)};
        const fs::path to = fs::read_symlink(file, ec);
        if (ec) return {"", quoted(file.string()) + ": " + ec.message()};
        file = to.is_absolute() ? to : file.parent_path() / to;
    }
    return {file.string(), ""};
}

file_replacement::~file_replacement() {
    if (stream_) std::fclose(stream_);
    if (file_f_) std::fclose(file_f_);
    if (!temp_.empty()) std::remove(temp_.c_str());
}

bool file_replacement::sink(void* context, const char* data, size_t size) {
    auto* r = static_cast<file_replacement*>(context);
    if (r->write_error_) return false;
    // Unbuffered: errno is that of the write(2) that failed.
    if (std::fwrite(data, 1, size, r->file_f_) == size) return true;
    r->write_error_ = errno ? errno : EIO;
    return false;
}

std::string file_replacement::open(const std::string& path, size_t buffer) {
    const report_target target = report_target_of(path);
    if (!target.error.empty()) return target.error;
    file_ = target.file;
    const std::string temp = temporary_of(file_);
    file_f_ = create_temporary(temp);
    if (!file_f_) return failed("cannot create", temp, errno);
    temp_ = temp;
    std::setvbuf(file_f_, nullptr, _IONBF, 0);
    stream_ = plat::open_sink_stream(&file_replacement::sink, this, buffer);
    if (!stream_) return failed("cannot write", temp_, ENOMEM);
    return "";
}

std::string file_replacement::commit() {
    if (!stream_) return "nothing to commit";
    std::fclose(std::exchange(stream_, nullptr)); // hands what it holds to sink()
    const bool closed = std::fclose(std::exchange(file_f_, nullptr)) == 0;
    std::string why;
    if (write_error_) {
        why = failed("cannot write", temp_, write_error_);
    } else if (!closed) {
        why = failed("cannot write", temp_, errno); // a full disk may show only here
    } else {
        // Checked again: something else may have been put in the target's place meanwhile.
        why = refusal(file_);
        if (why.empty() && std::rename(temp_.c_str(), file_.c_str()) != 0)
            why = failed("cannot rename the new file onto", file_, errno);
    }
    if (!why.empty()) std::remove(temp_.c_str());
    temp_.clear(); // the target now, or gone
    return why;
}

std::string replace_file(const std::string& path, const std::string& contents) {
    file_replacement r;
    if (std::string why = r.open(path); !why.empty()) return why;
    std::fwrite(contents.data(), 1, contents.size(), r.stream());
    return r.commit();
}

std::string check_replaceable(const std::string& path) {
    file_replacement r; // the temporary file goes with it
    return r.open(path);
}
