// One detection run: which type of the signature file, if any, a file belongs to.
// The console program, the dialog and the library include this header alone:
// it brings the set, the run's settings, the files and the text of titles.
#pragma once

#include "files/platform_file.h"
#include "scan/run_settings.h"
#include "signatures/signature_text.h"
#include "signatures/signatures.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

enum class DetectionState {
    Detected,      // a type matched
    Unreadable,    // the file could not be opened (or is no regular file), or a read of it failed
    Undetermined,  // opened, but no type matched
};

struct DetectionOutcome {
    DetectionState state = DetectionState::Undetermined;
    // Unreadable only: why. The system's code when the open failed, is_a_directory
    // or not_supported for what is no regular file, io_error for a read that
    // failed after the open.
    std::error_code error;
    std::string title;                    // Detected only
    std::vector<std::string> extensions;  // Detected only, in document order
    bool general = false;                 // Detected only: the type names a family (SignatureType::general)
    std::string mimeType;                 // Detected only: the type's first MIME type, or empty
};

// Where one pattern of the chosen type held.
struct PatternHeld {
    const MagicRule* rule;  // in the table the run used
    // Where its bytes were tested or, for a search, where it was found. For
    // a pointer, where the bytes it points to were read; for a ZIP member's
    // data or a compressed payload, where in them the bytes held.
    std::uint64_t offset;
    std::uint64_t value;  // a pointer: the number read at its offset
    std::string name;     // a ZIP member or compound-file entry: the one that matched; xmlroot: the root
    std::optional<TextEncoding> encoding;  // a text form: the encoding found
};

// Why a run ended as it did, for signature authors. A run fills it only when
// handed one, so that a batch that does not ask pays nothing for it.
struct DetectionBasis {
    std::size_t typesTried = 0;           // types tested against the file, the chosen one included
    const SignatureType* type = nullptr;  // the chosen type (Detected only), in the table the run used
    std::vector<PatternHeld> patterns;    // its patterns as tested, in order: all, or up to a search hit;
                                          // weigh evidence is left out (the lang test names what weighed)
};

// What one thread reuses from one examined file to the next, so that a batch
// allocates next to nothing per file. Never shared between threads.
struct DetectionBuffers;
struct DetectionBuffersDeleter {
    void operator()(DetectionBuffers* buffers) const noexcept;
};
using UniqueDetectionBuffers = std::unique_ptr<DetectionBuffers, DetectionBuffersDeleter>;
UniqueDetectionBuffers MakeDetectionBuffers();

// The search work done with these buffers so far: pattern slots prepared
// plus pattern groups scanned. It grows with the number of searches, never
// with its square.
std::uint64_t SearchWork(const DetectionBuffers& buffers);

// Loads the signature file afresh, so that an edit takes effect at the next run.
DetectionOutcome DetectFileType(const std::filesystem::path& signaturePath, const std::filesystem::path& filePath,
                                const RunSettings& settings = {});

// The same run against a table loaded once, for batches.
DetectionOutcome DetectWithTable(const SignatureTable& table, const std::filesystem::path& filePath,
                                 DetectionBasis* basis = nullptr, const RunSettings& settings = {});
DetectionOutcome DetectWithTable(const SignatureTable& table, const std::filesystem::path& filePath,
                                 DetectionBuffers& buffers, DetectionBasis* basis = nullptr,
                                 const RunSettings& settings = {});

// The same run over bytes in memory, as if they were a whole file's: every
// test reads only within `bytes`, which the run keeps no pointer to. It
// never ends Unreadable.
DetectionOutcome DetectBytes(const SignatureTable& table, std::span<const std::uint8_t> bytes,
                             DetectionBasis* basis = nullptr, const RunSettings& settings = {});
DetectionOutcome DetectBytes(const SignatureTable& table, std::span<const std::uint8_t> bytes, DetectionBuffers& buffers,
                             DetectionBasis* basis = nullptr, const RunSettings& settings = {});
