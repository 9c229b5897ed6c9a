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
