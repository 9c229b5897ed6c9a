#include "walk.h"
#include "platform_cli.h"

#include "escaping.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace fs = std::filesystem;

namespace {

// Directory entries in a stable order: by name, compared as the system stores it.
void WalkDirectory(const fs::path& dir, const CliOptions& options, WalkedFolders& visited,
                   std::vector<fs::path>& files, std::FILE* err)
{
    std::error_code error;
    if (options.followLinks) {
        // A link back up the tree would otherwise be walked forever.
        auto real = fs::canonical(dir, error);
        if (error) {
            // Unresolved, it could not be told from a directory already
            // walked; skipping it in silence would lose everything under it.
            std::fprintf(err, "kindsniffer-cli: cannot work out the real path of %s: %s\n",
                         DisplayText(dir.native()).c_str(), error.message().c_str());
            files.push_back(dir);  // reported as unreadable, as a folder that cannot be listed
            return;
        }
        if (!visited.insert(real).second)
            return;
    }
    // What the listing reports of each entry, so that walking costs no system
    // call per file; only a link's target has to be looked up.
    struct Entry {
        fs::path path;
        bool isLink;
        bool isDirectory;  // for a link: whether it leads to a directory
    };
    std::vector<Entry> entries;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
        std::error_code unknown;  // an entry whose type cannot be told is examined, and reported
        entries.push_back({it->path(), it->is_symlink(unknown), it->is_directory(unknown)});
    }
    if (error) {
        std::fprintf(err, "kindsniffer-cli: cannot list %s: %s\n", DisplayText(dir.native()).c_str(),
                     error.message().c_str());
        files.push_back(dir);  // reported as unreadable, so the failure shows in the results too
        return;
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.path.native() < b.path.native(); });

    for (Entry& entry : entries) {
        if (!entry.isDirectory)
            files.push_back(std::move(entry.path));  // a file, a link to one, or a broken link
        else if (!entry.isLink || options.followLinks)
            WalkDirectory(entry.path, options, visited, files, err);
    }
}

void AddPath(const fs::path& path, const CliOptions& options, WalkedFolders& walked, std::vector<fs::path>& files,
             std::FILE* err)
{
    std::error_code error;
    if (options.recursive && fs::is_directory(path, error))
        WalkDirectory(path, options, walked, files, err);
    else
        files.push_back(path);
}

// The list holds UTF-8 on Windows, where names are UTF-16; elsewhere a name
// is bytes, and the entry is used byte for byte.
fs::path PathFromListEntry(std::string_view entry)
{
    return fs::path(NativeFromSignatureText(entry));
}

constexpr std::size_t kListChunk = 64 * 1024;
constexpr std::size_t kLongestEntry = 1024 * 1024;

} // namespace

std::vector<fs::path> CollectFiles(const CliOptions& options, WalkedFolders& walked, std::FILE* err)
{
    std::vector<fs::path> files;
    for (const fs::path& path : options.paths)
        AddPath(path, options, walked, files, err);
    return files;
}

std::optional<PathList> OpenPathList(const fs::path& file, bool nulSeparated, std::string& problem)
{
    PathList list;
    list.separator = nulSeparated ? '\0' : '\n';
    if (file == "-") {
#ifdef _WIN32
        // Bytes as they come: no CR-LF folding, and no end at a Ctrl+Z.
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        list.stream = stdin;
        return list;
    }
    std::error_code error;
    // Opening a folder succeeds on Linux, and only its first read would fail.
    if (fs::is_directory(file, error)) {
        problem = SystemErrorText(std::make_error_code(std::errc::is_a_directory));
        return std::nullopt;
    }
#ifdef _WIN32
    list.owned.reset(_wfopen(file.c_str(), L"rb"));
#else
    list.owned.reset(std::fopen(file.c_str(), "rb"));
#endif
    if (!list.owned) {
        problem = SystemErrorText(std::error_code(errno, std::generic_category()));
        return std::nullopt;
    }
    list.stream = list.owned.get();
    return list;
}

bool TakeListEntry(std::string_view pending, std::size_t& start, char separator, bool atEnd, std::string_view& entry)
{
    if (start >= pending.size())
        return false;
    std::size_t end = pending.find(separator, start);
    if (end == std::string_view::npos && !atEnd)
        return false;
    if (end == std::string_view::npos)
        end = pending.size();
    entry = pending.substr(start, end - start);
    start = end + 1;
    // A list saved on Windows ends its lines with CR LF.
    if (separator == '\n' && !entry.empty() && entry.back() == '\r')
        entry.remove_suffix(1);
    return true;
}

void ReadListedFiles(PathList& list, const CliOptions& options, WalkedFolders& walked, std::vector<fs::path>& files,
                     std::size_t wanted, std::FILE* err)
{
    while (files.size() < wanted) {
        std::string_view entry;
        if (TakeListEntry(list.pending, list.start, list.separator, list.ended, entry)) {
            if (list.separator == '\n' && entry.find('\0') != std::string_view::npos) {
                // The system would see the name cut short at the NUL, and
                // examine a file that was never named.
                list.problem = "it holds a NUL byte; a NUL-separated list needs -0";
                list.ended = true;
                list.pending.clear();
                list.start = 0;
                return;
            }
            if (!entry.empty())
                AddPath(PathFromListEntry(entry), options, walked, files, err);
            continue;
        }
        if (list.ended)
            return;
        // Keep the part entry that has no separator yet, and read on.
        list.pending.erase(0, list.start);
        list.start = 0;
        if (list.pending.size() > kLongestEntry) {
            // No name is that long: this is no list of paths in this form (a
            // newline-separated list read with -0, say), and would be held whole.
            list.problem = "an entry runs past 1 MiB without a separator";
            list.ended = true;
            list.pending.clear();
            return;
        }
        const std::size_t had = list.pending.size();
        list.pending.resize(had + kListChunk);
        const std::size_t got = std::fread(list.pending.data() + had, 1, kListChunk, list.stream);
        list.pending.resize(had + got);
        if (got == 0) {
            list.ended = true;
            if (std::ferror(list.stream))
                list.problem = SystemErrorText(std::error_code(errno, std::generic_category()));
        }
        if (!list.started) {
            list.started = true;
#ifdef _WIN32
            // Notepad may start a UTF-8 file with a byte order mark; it is no part of the first name.
            if (list.pending.rfind("\xEF\xBB\xBF", 0) == 0)
                list.start = 3;
#endif
        }
    }
}
