#include "platform_lib.h"

#include "system_text.h"
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
    return Win32ErrorText(static_cast<DWORD>(SystemCode(error)));
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
