#include "walk.h"
#include "text.h"

#include <algorithm>
#include <set>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Directory entries in a stable order: by name, compared as the system stores it.
void WalkDirectory(const fs::path& dir, const CliOptions& options, std::set<fs::path>& visited,
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

} // namespace

std::vector<fs::path> CollectFiles(const CliOptions& options, std::FILE* err)
{
    std::vector<fs::path> files;
    std::set<fs::path> visited;
    std::error_code error;
    for (const fs::path& path : options.paths) {
        if (options.recursive && fs::is_directory(path, error))
            WalkDirectory(path, options, visited, files, err);
        else
            files.push_back(path);
    }
    return files;
}
