// What the file layer says the same on every platform.
#include "platform_file.h"

UniquePlatformFile OpenFileForDetection(const std::filesystem::path& path)
{
    std::error_code ignored;
    return OpenFileForDetection(path, ignored);
}

UniquePlatformFile OpenFileForDetection(const std::filesystem::path& path, std::error_code& error)
{
    WholeFileResult ignored;
    return OpenRegularFile(path, error, ignored);
}

const char* WholeFileProblem(WholeFileResult result)
{
    switch (result) {
    case WholeFileResult::Read: return "was read";
    case WholeFileResult::CannotOpen: return "cannot be opened";
    case WholeFileResult::NotRegular: return "is not a regular file";
    case WholeFileResult::TooLarge: return "is too large (more than 256 MiB)";
    case WholeFileResult::ReadFailed: return "could not be read";
    }
    return "could not be read";
}
