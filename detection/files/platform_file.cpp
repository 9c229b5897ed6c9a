// What the file layer says the same on every platform.
#include "files/platform_file.h"

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

WholeFileResult ReadWholeFile(const std::filesystem::path& path, std::uint64_t limit, std::string& text,
                              UniqueStdioFile& stream)
{
    text.clear();
    stream.reset();
    std::error_code ignored;
    WholeFileResult problem = WholeFileResult::Read;
    const UniquePlatformFile file = OpenRegularFile(path, ignored, problem);
    if (!file)
        return problem;
    if (PlatformFileSize(*file) > limit)
        return WholeFileResult::TooLarge;
    return ReadOpenedWholeFile(*file, limit, text, stream);
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
