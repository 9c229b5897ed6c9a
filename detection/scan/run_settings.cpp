// Run settings read from the environment, once, at a program's edge.
#include "scan/run_settings.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

RunSettings RunSettingsFrom(const char* scanLevel, const char* workers)
{
    RunSettings settings;
    // Lets a user (or a benchmark) rule out a level the processor claims but handles badly.
    if (scanLevel) {
        const std::string_view name(scanLevel);
        if (name == "plain")
            settings.scanLevel = ScanLevel::Plain;
        else if (name == "ssse3")
            settings.scanLevel = ScanLevel::Ssse3;
    }
    if (workers) {
        const long n = std::strtol(workers, nullptr, 10);
        if (n >= 1)
            settings.workers = static_cast<unsigned>(std::min<long>(n, 64));
    }
    return settings;
}

RunSettings RunSettingsFromEnvironment()
{
    return RunSettingsFrom(std::getenv("KINDSNIFFER_SCAN_LEVEL"), std::getenv("KINDSNIFFER_WORKERS"));
}
