// What the console program tells of each file: the table or JSON lines on
// stdout, progress on stderr.
#pragma once

#include "renaming/rename.h"

#include "detection.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

struct Examined {
    std::filesystem::path path;
    DetectionOutcome outcome;
    std::optional<RenameStep> rename;
    std::optional<DetectionBasis> basis;  // with --explain
};

// One JSON object, on one line.
void PrintJson(std::FILE* out, const Examined& item);

// The table: type, extensions, with `mime` the MIME type, path and what a
// rename did, in aligned columns.
void PrintTable(std::FILE* out, const std::vector<Examined>& rows, bool mime = false);

// Whether anything written to `out` failed to arrive.
bool OutputFailed(std::FILE* out);

// The system's reason why a file could not be read, as the JSON "error" tells it.
std::string UnreadableReason(const DetectionOutcome& outcome);

// One line on `err` for a file that could not be read, with its reason; a
// folder given without -r also gets the hint that -r walks it.
void TellUnreadable(const Examined& item, bool recursive, std::FILE* err);

// What a batch did that its lost report would have told: the renames.
void TellRenamesOnError(const std::vector<Examined>& rows, std::FILE* err);

// "examined 1200 of 10000" on one self-overwriting line, a few times a second.
struct Progress {
    std::FILE* err;
    bool enabled;
    std::size_t total;
    std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();
    bool shown = false;

    void Update(std::size_t done)
    {
        if (!enabled)
            return;
        auto now = std::chrono::steady_clock::now();
        if (now - last < std::chrono::milliseconds(100))
            return;
        last = now;
        shown = true;
        std::fprintf(err, "\rexamined %zu of %zu", done, total);
        std::fflush(err);
    }
    void Finish()
    {
        if (shown)
            std::fprintf(err, "\r%*s\r", 40, "");
    }
};

