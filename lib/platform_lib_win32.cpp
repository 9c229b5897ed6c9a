#include "platform_lib.h"

#include "unicode.h"

#include <windows.h>

#include <vector>

std::optional<std::filesystem::path> PathFromUtf8(std::string_view utf8)
{
    const std::optional<std::u16string> wide = Utf16FromUtf8(utf8);
    if (!wide)
        return std::nullopt;
    return std::filesystem::path(std::wstring(wide->begin(), wide->end()));
}

int SystemCode(const std::error_code& error)
{
    if (error.category() == std::system_category())
        return error.value();
    if (error == std::errc::is_a_directory)
        return ERROR_DIRECTORY;
    if (error == std::errc::not_supported)
        return ERROR_NOT_SUPPORTED;
    if (error == std::errc::io_error)
        return ERROR_READ_FAULT;
    if (error == std::errc::illegal_byte_sequence)
        return ERROR_NO_UNICODE_TRANSLATION;
    return ERROR_GEN_FAILURE;
}

std::string SystemMessage(const std::error_code& error)
{
    const auto code = static_cast<DWORD>(SystemCode(error));
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = "error " + std::to_string(code);
    if (length && buffer) {
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
        std::string utf8(static_cast<std::size_t>(bytes), '\0');
        WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(length), utf8.data(), bytes, nullptr, nullptr);
        while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r' || utf8.back() == '.'))
            utf8.pop_back();
        text = utf8;
    }
    LocalFree(buffer);
    return text;
}

std::error_code BadPathError()
{
    return {ERROR_NO_UNICODE_TRANSLATION, std::system_category()};
}

std::filesystem::path LibraryFolder()
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&LibraryFolder), &module))
        return {};
    // A path may be longer than MAX_PATH: grow until it fits.
    std::vector<wchar_t> name(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0)
            return {};
        if (length < name.size())
            return std::filesystem::path(std::wstring(name.data(), length)).parent_path();
        name.resize(name.size() * 2);
    }
}
