#include "platform_lib.h"

#include <dlfcn.h>

#include <cerrno>
#include <cstring>

// Paths are bytes here: UTF-8 goes through as it is, and so would any other.
std::optional<std::filesystem::path> PathFromUtf8(std::string_view utf8)
{
    return std::filesystem::path(std::string(utf8));
}

int SystemCode(const std::error_code& error)
{
    return error.value();
}

std::string SystemMessage(const std::error_code& error)
{
    // strerror_r, not strerror: another thread may be asking at the same time.
    char buffer[256] = {};
    const char* text = strerror_r(error.value(), buffer, sizeof buffer);
    return text ? text : "error " + std::to_string(error.value());
}

std::error_code BadPathError()
{
    return std::make_error_code(std::errc::illegal_byte_sequence);
}

std::filesystem::path LibraryFolder()
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&LibraryFolder), &info) || !info.dli_fname)
        return {};
    std::error_code error;
    const std::filesystem::path file = std::filesystem::canonical(info.dli_fname, error);
    return error ? std::filesystem::path(info.dli_fname).parent_path() : file.parent_path();
}
