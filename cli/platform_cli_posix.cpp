#include "platform_cli.h"

#include <cstring>
#include <unistd.h>

std::string SystemErrorText(const std::error_code& error)
{
    return std::strerror(error.value());
}

NativeString NativeFromSignatureText(std::string_view text)
{
    return NativeString(text);
}

bool IsTerminal(std::FILE* stream)
{
    return ::isatty(::fileno(stream)) == 1;
}

std::vector<std::filesystem::path> ExpandWildcards(const std::vector<std::filesystem::path>& args)
{
    return args;
}

bool IsPlatformHelpRequest(const std::filesystem::path&)
{
    return false;
}
