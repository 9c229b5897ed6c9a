// The signature file: an XML document of <dat><types><type>... elements, each
// type with its <magic> patterns, a <title> and its <ext> extensions.
#pragma once

#include "patterns/magic.h"
#include "scan/search_scanner.h"
#include "files/platform_file.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct SignatureType {
    std::string title;                    // bytes as the file holds them
    std::vector<std::string> extensions;  // in document order, leading period included
    std::vector<MagicRule> magics;        // all must hold, but a search hit decides at once
    int line = 0;                         // of its <type> element, for explaining a result
    // Its answer names a family rather than a format ("Text", "ZIP archive"):
    // files of many formats hold it, so a member's extension is no mismatch.
    // Written <general/>; older readers look only for the children they know.
    bool general = false;
    // Its MIME types (<mime>), in document order: the first is the one
    // reported, the others are aliases a caller may also meet.
    std::vector<std::string> mimeTypes;
};

// Whether the type names text: one of its valid patterns is a text form, so
// it holds only on a file whose sample reads as text. A general text answer
// stands for all of these, and the linter expects any type that text could
// satisfy to be one of them.
bool IsTextType(const SignatureType& type);

// Whether a file of text could satisfy the patterns: every one of them can
// hold on bytes that a text sample allows (printable ASCII, tab, LF, FF and
// CR) at the places it tests. The structure forms need binary records, and a
// byte such as a NUL, a control or a field value outside those bytes cannot
// stand in text; a pattern that never holds cannot hold on text either. Only
// the patterns up to a type's first search count, since a hit decides.
// A type that text can satisfy and is no text type would name a note that
// happens to open with its bytes.
bool TextCanHold(const MagicRule& rule);
bool TextCanSatisfy(std::span<const MagicRule> magics);

// No signature file larger than this is read: the largest real sets are a
// few hundred kilobytes, and a parsed document costs several times its size.
constexpr std::uint64_t kMaxSignatureFileBytes = 256u << 20;

// What a loaded signature file is good for.
enum class SignatureFileState {
    // Could not be opened or read (a folder, a FIFO, one too large): a caller
    // may refuse to go on rather than call every file unknown.
    Unreadable,
    // Read, but lacks <dat> or <types>: no file can be detected.
    Unusable,
    // Holds a type list (one that is not well-formed keeps what came before the error).
    Usable,
};

struct SignatureTable {
    SignatureFileState state = SignatureFileState::Unreadable;
    WholeFileResult file = WholeFileResult::CannotOpen;  // why it is Unreadable
    std::vector<SignatureType> types;  // in document order: the first match wins
    // The encoding its XML declaration names ("Shift_JIS"), or empty: titles
    // and extensions are bytes, and this says how to read those that are
    // neither ASCII nor UTF-8 where there is no ANSI code page.
    std::string declaredEncoding;

    // For each value of a file's first byte, the types (indices, in document
    // order) that can still match it: a type whose first pattern demands
    // another first byte cannot, and a batch need not try it.
    std::array<std::vector<std::uint32_t>, 256> candidatesByFirstByte;

    // Every valid search pattern, in document order, compiled for one pass;
    // pattern i belongs to the rule whose searchIndex is i.
    SearchScanner searches;

    // The evidence of every language type (lang and weigh), compiled to be
    // weighed in one pass over a text.
    LanguageScorer languages;
};

// Loads and parses a signature file. A file that is missing, unreadable or
// empty gives an unusable table; one that is not well-formed keeps what was
// parsed before the error.
//
// When handed `xmlError`, it says whether and where the XML is not well-formed.
struct SignatureXmlError {
    bool failed = false;
    int line = 0;          // from 1; 0 when the parser names none
    std::string message;   // the parser's
};
SignatureTable LoadSignatureTable(const std::filesystem::path& path, SignatureXmlError* xmlError = nullptr);

// The same for a document held in memory. The parser keeps nothing of a
// document in memory that is not well-formed, so such a table is unusable.
SignatureTable ParseSignatureTable(std::string_view text, SignatureXmlError* xmlError = nullptr);

// Builds the first-byte index and the compiled searches from table.types.
// The loader calls it; a table put together in code must call it too before
// it is used, or its searches have nothing to answer them.
void IndexSignatureTable(SignatureTable& table);
