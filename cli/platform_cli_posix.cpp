#include "platform_cli.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

RenameResult RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to, std::string& error)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return RenameResult::Renamed;
    if (errno == EEXIST)
        return RenameResult::TargetExists;
    if (errno != EINVAL && errno != ENOSYS) {
        error = std::strerror(errno);
        return RenameResult::Failed;
    }
    // A file system without RENAME_NOREPLACE: link() refuses an existing
    // name just as well, and the old name goes only once the new one exists.
    if (::link(from.c_str(), to.c_str()) != 0) {
        if (errno == EEXIST)
            return RenameResult::TargetExists;
        error = std::strerror(errno);
        return RenameResult::Failed;
    }
    if (::unlink(from.c_str()) != 0) {
        error = std::strerror(errno);
        return RenameResult::Failed;
    }
    return RenameResult::Renamed;
}

NativeString NativeFromSignatureText(std::string_view text)
{
    return NativeString(text);
}

bool IsTerminal(std::FILE* stream)
{
    return ::isatty(::fileno(stream)) == 1;
}
