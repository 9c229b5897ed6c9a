// Telling text from bytes: which encoding a bounded sample of a file is
// written in, and the few shapes of text (JSON, an XML root, delimited rows,
// a first line) that a byte pattern cannot express.
//
// Everything here is pure and reads only the bytes handed in. The encodings
// and the sample are read in text_encodings.cpp; JSON, the XML root and
// tables in text_shapes.cpp; header blocks, YAML and INI in text_line_shapes.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// In the order in which they are preferred when several fit a sample; of the
// Windows code pages, the one whose letters read best.
enum class TextEncoding : std::uint8_t {
    Ascii, Utf8, Utf16Le, Utf16Be, Iso2022Jp, EucJp, ShiftJis, Windows1252, Windows1250, Windows1251
};

// What a text test reads of a file: at most the first kTextHead bytes and,
// of a larger file, at most the last kTextTail bytes.
constexpr std::size_t kTextHead = 64 * 1024;
constexpr std::size_t kTextTail = 4 * 1024;

// Tab, LF, FF and CR are the only control characters plain text holds (ESC
// only where ISO-2022-JP switches its character sets); of the bytes below
// 0x80 these are the ones a text sample may hold anywhere.
constexpr bool IsPlainTextByte(std::uint8_t c)
{
    return (c >= 0x20 && c < 0x7F) || c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D;
}

// The encoding's name as a test writes it ("shift_jis") and as a person reads it ("Shift_JIS").
std::string_view TextEncodingKeyword(TextEncoding encoding);
std::string_view TextEncodingTitle(TextEncoding encoding);
std::optional<TextEncoding> TextEncodingFromKeyword(std::string_view keyword);

// Whether `bytes` are valid in `encoding`. `cutBefore`/`cutAfter` say that the
// bytes were cut out of a longer file there, so that a character cut by the
// edge is no fault. A BOM is not part of the bytes: UTF-16 is checked after it.
bool ValidText(TextEncoding encoding, std::span<const std::uint8_t> bytes, bool cutBefore, bool cutAfter);

// Whether a sample's head and tail (the tail may be empty), valid in
// `encoding`, read like text in it: empty when they do not, else a score by
// which the Windows code pages are told apart (the highest wins). Linear in
// the bytes. Text with a byte-order mark needs no score.
std::optional<int> TextScore(TextEncoding encoding, std::span<const std::uint8_t> head,
                             std::span<const std::uint8_t> tail = {});

// Whether a Windows code page gives byte `c` a character.
bool CodePageDefines(TextEncoding encoding, std::uint8_t c);

// The first bounded sample of a file: its head, and its tail when the file is
// longer than the head.
struct TextSampleBytes {
    std::span<const std::uint8_t> head;
    std::span<const std::uint8_t> tail;
    std::uint64_t fileSize = 0;
};

// The encoding a sample is text in, by the order of TextEncoding, or empty
// when it is not text in any of them: valid in it, and read as text by
// TextScore. UTF-8 and UTF-16 with a BOM are decided by the BOM.
std::optional<TextEncoding> ClassifyText(const TextSampleBytes& sample);

// Whether the sample is valid in some encoding, however it reads: a cheap
// first look that ClassifyText never contradicts.
bool CouldBeText(const TextSampleBytes& sample);

// The head of a sample as the shape tests read it: the BOM removed, UTF-16
// turned into UTF-8, ISO-2022-JP's escape sequences left out; every byte of
// a multi-byte character but its first has its top bit set, so that bytes
// below 80 are the ASCII characters they stand for and nothing else.
std::string TextView(std::span<const std::uint8_t> head, TextEncoding encoding);

// A top-level object or array, and nothing but white space after it. With
// `cut`, the view ends before the file does, and running out of bytes is no fault.
bool JsonHolds(std::string_view view, bool cut);

// JSON Lines: at least two lines, each one whole object or array; blank lines
// only at the end. A line cut by the view's end is not read.
bool JsonLinesHolds(std::string_view view, bool cut);

// A header block opens the text: every line up to the first empty one is a
// field "Name: value" (a name of printable ASCII without a colon) or a folded
// continuation of one; each of `names` is among the fields, in any case.
bool HeaderHolds(std::string_view view, std::span<const std::string> names, bool cut);

// Block YAML: after blank and comment lines, every line that starts at the
// left edge is a mapping key ("key:" or "key: value"), a sequence entry
// ("- ") or a document marker; nothing is indented with a tab; and the text
// opens with the marker "---", or some key without a value holds a nested
// mapping (deeper keys, or "- key:" entries).
bool YamlHolds(std::string_view view, bool cut);

// INI settings: after blank and comment lines (";" or "#"), a section line
// "[name]" comes first, and every other line is a section line, "key=value"
// or an indented continuation of a value; at least one key, perhaps
// commented out.
bool IniHolds(std::string_view view, bool cut);

// The characters of an XML name, as xmlroot takes them both in a signature
// and in a file: ASCII letters, digits (not first), "_:-." (but "-." not
// first), and every byte of a multi-byte character.
bool IsXmlNameStart(char c);
bool IsXmlNameChar(char c);

// The name of the first element after any XML declaration, processing
// instructions, comments, doctype and white space; empty when there is none.
std::optional<std::string> XmlRootName(std::string_view view);

// The same element's name with the attributes its start tag carries, in
// order and as written (no entity is expanded); reading stops at the first
// one that is not well formed, or at the view's end.
struct XmlStartTag {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
};
std::optional<XmlStartTag> XmlRootTag(std::string_view view);

// Whether the first rows (at least 2, at most kTableRows) hold the same number,
// at least one, of `delimiter` outside double quotes, and at least two columns
// hold text in some row. A row cut by the view's end is not counted, nor is a
// blank row; lines opening with "#" before the first row are comments, and
// rows behind them need at least two delimiters.
constexpr std::size_t kTableRows = 20;
bool TableHolds(std::string_view view, char delimiter, bool cut);
