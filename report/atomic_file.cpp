#include "report/atomic_file.h"

#include "platform/resolver.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

// The temporary name does not end in ".prom", so a textfile collector skips it.
std::string temporary_of(const std::string& path) {
    return path + ".tmp." + std::to_string(plat::process_id());
}

std::string failed(const std::string& what, const std::string& path) {
    return what + " '" + path + "': " + std::strerror(errno);
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

std::string replace_file(const std::string& path, const std::string& contents) {
    const std::string temp = temporary_of(path);
    std::FILE* f = create_temporary(temp);
    if (!f) return failed("cannot create", temp);
    const bool wrote = std::fwrite(contents.data(), 1, contents.size(), f) == contents.size();
    const int write_error = errno;
    const bool closed = std::fclose(f) == 0; // a full disk often shows only here
    if (!wrote || !closed) {
        if (!wrote) errno = write_error;
        const std::string why = failed("cannot write", temp);
        std::remove(temp.c_str());
        return why;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const std::string why = failed("cannot rename the new file onto", path);
        std::remove(temp.c_str());
        return why;
    }
    return "";
}

std::string check_replaceable(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return "'" + path + "' is a directory";
    const std::string temp = temporary_of(path);
    std::FILE* f = create_temporary(temp);
    if (!f) return failed("cannot create", temp);
    std::fclose(f);
    std::remove(temp.c_str());
    return "";
}
