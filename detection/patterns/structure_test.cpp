// Testing the new forms against a file, with what the file's earlier tests
// learnt of its structures.
#include "patterns/magic.h"

#include "ascii.h"

#include <algorithm>
#include <cstring>
#include <tuple>

namespace {

// Buffers beyond this are given back between files, so that one odd file
// does not keep a batch thread's memory up.
constexpr std::size_t kKeptCapacity = 256 * 1024;

template <class T>
void ClearKeepingLittle(std::vector<T>& buffer)
{
    buffer.clear();
    if (buffer.capacity() * sizeof(T) > kKeptCapacity)
        buffer.shrink_to_fit();
}

const ZipDirectory* ZipOf(const ByteFetch& fetch, StructureCache& cache)
{
    if (!cache.zipStatus)
        cache.zipStatus = ReadZipDirectory(fetch, cache.zip);
    return *cache.zipStatus == StructureStatus::Found ? &cache.zip : nullptr;
}

const CompoundDirectory* CompoundOf(const ByteFetch& fetch, StructureCache& cache)
{
    if (!cache.compoundStatus)
        cache.compoundStatus = ReadCompoundDirectory(fetch, cache.compound);
    return *cache.compoundStatus == StructureStatus::Found ? &cache.compound : nullptr;
}

// A payload's first bytes, from the cache or made by `fill` into a slot.
template <class Fill>
const StructureCache::Payload& PayloadOf(StructureCache& cache, StructureCache::PayloadKind kind, std::uint64_t key,
                                         Fill fill)
{
    for (const StructureCache::Payload& payload : cache.payloads) {
        if (payload.used && payload.kind == kind && payload.key == key)
            return payload;
    }
    StructureCache::Payload& slot = cache.payloads[cache.nextPayload];
    cache.nextPayload = (cache.nextPayload + 1) % cache.payloads.size();
    slot.used = true;
    slot.kind = kind;
    slot.key = key;
    slot.status = fill(slot.bytes);
    return slot;
}

MagicResult TestPayload(const StructureTest& test, std::span<const std::uint8_t> payload, StructureHeld* held)
{
    std::optional<std::uint64_t> at;
    if (test.search)
        at = FindMasked(test.bytes, payload.first(std::min(payload.size(), kPayloadLimit)));
    else if (test.offset <= payload.size() && payload.size() - test.offset >= test.bytes.size()
             && MaskedMatchAt(test.bytes, payload.data() + test.offset))
        at = test.offset;
    if (!at)
        return MagicResult::NoMatch;
    if (held)
        held->offset = *at;
    return MagicResult::Match;
}

// Whether a ZIP member's name fits the pattern: the literal runs in order,
// the first at the start, the last at the end, any bytes between them.
bool NameFits(const std::vector<std::string>& pieces, std::string_view name)
{
    if (pieces.size() == 1)
        return name == pieces.front();
    const std::string& first = pieces.front();
    const std::string& last = pieces.back();
    if (name.size() < first.size() + last.size() || !name.starts_with(first) || !name.ends_with(last))
        return false;
    std::size_t cursor = first.size();
    const std::size_t end = name.size() - last.size();
    for (std::size_t i = 1; i + 1 < pieces.size(); ++i) {
        const std::size_t found = name.substr(0, end).find(pieces[i], cursor);
        if (found == std::string_view::npos)
            return false;
        cursor = found + pieces[i].size();
    }
    return true;
}

MagicResult TestZipMember(const MagicRule& rule, const ByteFetch& fetch, StructureCache& cache, StructureHeld* held)
{
    const StructureTest& test = rule.structure;
    const ZipDirectory* directory = ZipOf(fetch, cache);
    if (!directory)
        return MagicResult::NoMatch;
    const auto entry = std::find_if(directory->entries.begin(), directory->entries.end(), [&](const ZipEntry& e) {
        return NameFits(test.namePieces, directory->Name(e));
    });
    if (entry == directory->entries.end())
        return MagicResult::NoMatch;
    if (held)
        held->name = directory->Name(*entry);
    if (!test.hasBytes)
        return MagicResult::Match;
    // Encrypted data, or compressed by a method other than deflate, cannot be read.
    if ((entry->flags & 1) || (entry->method != 0 && entry->method != 8))
        return MagicResult::NoMatch;

    ZipMemberData data;
    if (entry->method == 0 && !test.search) {
        // Stored data is read where the test looks, however far in.
        if (LocateZipMemberData(fetch, *entry, data) != StructureStatus::Found || test.offset > data.size
            || data.size - test.offset < test.bytes.size())
            return MagicResult::NoMatch;
        const std::uint8_t* bytes = fetch.Bytes(data.start + test.offset, test.bytes.size());
        if (!bytes || !MaskedMatchAt(test.bytes, bytes))
            return MagicResult::NoMatch;
        if (held)
            held->offset = test.offset;
        return MagicResult::Match;
    }
    const auto index = static_cast<std::uint64_t>(entry - directory->entries.begin());
    const StructureCache::Payload& payload
        = PayloadOf(cache, StructureCache::PayloadKind::ZipMember, index, [&](std::vector<std::uint8_t>& bytes) {
              bytes.clear();
              const StructureStatus located = LocateZipMemberData(fetch, *entry, data);
              if (located != StructureStatus::Found)
                  return located;
              if (entry->method == 8)
                  return InflatePayload(fetch, data.start, data.size, PayloadWrapper::Raw, bytes);
              const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(data.size, kPayloadLimit));
              const std::uint8_t* stored = length ? fetch.Bytes(data.start, length) : nullptr;
              if (length && !stored)
                  return StructureStatus::ReadFailed;
              bytes.assign(stored, stored + length);
              return StructureStatus::Found;
          });
    return payload.status == StructureStatus::Found ? TestPayload(test, payload.bytes, held) : MagicResult::NoMatch;
}

MagicResult TestCompressed(const MagicRule& rule, const ByteFetch& fetch, StructureCache& cache, StructureHeld* held)
{
    const bool gzip = rule.form == MagicForm::Gzip;
    const std::uint64_t start = gzip ? 0 : rule.structure.at;
    const StructureCache::Payload& payload = PayloadOf(
        cache, gzip ? StructureCache::PayloadKind::Gzip : StructureCache::PayloadKind::Zlib, start,
        [&](std::vector<std::uint8_t>& bytes) {
            return InflatePayload(fetch, start, fetch.size - std::min(start, fetch.size),
                                  gzip ? PayloadWrapper::Gzip : PayloadWrapper::Zlib, bytes);
        });
    return payload.status == StructureStatus::Found ? TestPayload(rule.structure, payload.bytes, held)
                                                    : MagicResult::NoMatch;
}

// A first look at the start of the file decides most non-text files without
// reading the whole sample: a prefix that is no text in any encoding rules
// the file out.
constexpr std::size_t kTextProbe = 1024;

// Reads the file's text sample once and finds its encoding.
bool TextOf(const ByteFetch& fetch, StructureCache& cache)
{
    if (cache.textStatus)
        return *cache.textStatus == StructureStatus::Found && cache.textEncoding;
    cache.textStatus = StructureStatus::Found;
    const auto probeLength = static_cast<std::size_t>(std::min<std::uint64_t>(fetch.size, kTextProbe));
    const std::uint8_t* probe = probeLength ? fetch.Bytes(0, probeLength) : nullptr;
    if (probeLength && !probe) {
        cache.textStatus = StructureStatus::ReadFailed;
        return false;
    }
    if (!CouldBeText({{probe, probeLength}, {}, fetch.size}))
        return false;

    const auto headLength = static_cast<std::size_t>(std::min<std::uint64_t>(fetch.size, kTextHead));
    const auto tailLength = static_cast<std::size_t>(std::min<std::uint64_t>(fetch.size - headLength, kTextTail));
    for (auto [buffer, at, length] : {std::tuple{&cache.textHead, std::uint64_t{0}, headLength},
                                      std::tuple{&cache.textTail, fetch.size - tailLength, tailLength}}) {
        const std::uint8_t* bytes = length ? fetch.Bytes(at, length) : nullptr;
        if (length && !bytes) {
            cache.textStatus = StructureStatus::ReadFailed;
            return false;
        }
        buffer->assign(bytes, bytes + length);
    }
    cache.textEncoding = ClassifyText({cache.textHead, cache.textTail, fetch.size});
    if (!cache.textEncoding)
        return false;
    cache.textView = TextView(cache.textHead, *cache.textEncoding);
    cache.textCut = fetch.size > headLength;
    return true;
}

// XML's element names are case-sensitive; the names that open an HTML page
// are not, and pages are written as <HTML> as often as <html>. A fragment of
// a page saved alone opens with a heading, a paragraph or a block.
bool RootNameFits(std::string_view wanted, std::string_view root)
{
    if (wanted == "*" || wanted == root)
        return true;
    constexpr std::string_view kHtmlRoots[] = {"html", "head", "body", "h1", "h2", "h3", "h4", "h5", "h6", "p", "div"};
    return std::any_of(std::begin(kHtmlRoots), std::end(kHtmlRoots),
                       [&](std::string_view html) { return EqualIgnoringAsciiCase<char>(wanted, html); })
        && EqualIgnoringAsciiCase<char>(wanted, root);
}

// The root element fits NAME, and the namespace and attributes asked for. With
// a namespace, NAME is the name after the element's prefix, and the prefix's
// declaration (or the default one, without a prefix) on the root names it.
bool RootFits(const StructureTest& test, const XmlStartTag& tag)
{
    auto attribute = [&](std::string_view name) -> const std::string* {
        for (const auto& [have, value] : tag.attributes) {
            if (have == name)
                return &value;
        }
        return nullptr;
    };
    if (test.xmlns) {
        const std::size_t colon = tag.name.find(':');
        const std::string_view local = colon == std::string::npos ? tag.name : std::string_view(tag.name).substr(colon + 1);
        const std::string declaration
            = colon == std::string::npos ? "xmlns" : "xmlns:" + tag.name.substr(0, colon);
        const std::string* uri = attribute(declaration);
        if (!uri || *uri != *test.xmlns || (test.nameText != "*" && local != test.nameText))
            return false;
    } else if (!RootNameFits(test.nameText, tag.name)) {
        return false;
    }
    return std::all_of(test.attributes.begin(), test.attributes.end(), [&](const XmlAttributeTest& wanted) {
        const std::string* value = attribute(wanted.name);
        return value && (!wanted.value || *value == *wanted.value);
    });
}

// A bounded search: BYTES wholly inside a window of `span` bytes from where
// the rule says, cut to the file. It reads the window and whatever leads to
// its start (a pointer's number, a PE image's header and section table).
MagicResult TestNear(const MagicRule& rule, const ByteFetch& fetch, StructureCache& cache, StructureHeld* held)
{
    const StructureTest& test = rule.structure;
    std::int64_t start = 0;
    switch (test.nearFrom) {
    case NearFrom::Offset:
        if (test.at >= fetch.size)
            return MagicResult::NoMatch;
        start = static_cast<std::int64_t>(test.at);
        break;
    case NearFrom::End:
        start = static_cast<std::int64_t>(fetch.size) - static_cast<std::int64_t>(test.at);
        break;
    case NearFrom::Pointer: {
        const PointerReading pointer = ReadPointer(fetch, test.at, test.width, 0, 0);
        if (pointer.status != StructureStatus::Found)
            return MagicResult::NoMatch;
        // The number has at most 32 bits and the displacement lies within 2^62 either way.
        start = static_cast<std::int64_t>(pointer.value) + test.displacement;
        break;
    }
    case NearFrom::PeDirectory:
        if (!cache.peStatus)
            cache.peStatus = ReadPeDirectories(fetch, cache.pe);
        if (*cache.peStatus != StructureStatus::Found || !cache.pe.present[test.at])
            return MagicResult::NoMatch;
        start = static_cast<std::int64_t>(cache.pe.offset[test.at]);
        break;
    }
    // What of the window lies before the file's start or past its end is not searched.
    const std::int64_t end = start + static_cast<std::int64_t>(test.span);
    const auto from = static_cast<std::uint64_t>(std::max<std::int64_t>(start, 0));
    const auto to = std::min(static_cast<std::uint64_t>(std::max<std::int64_t>(end, 0)), fetch.size);
    if (to <= from || to - from < test.bytes.size())
        return MagicResult::NoMatch;
    const auto length = static_cast<std::size_t>(to - from);
    const std::uint8_t* window = fetch.Bytes(from, length);
    if (!window)
        return MagicResult::NoMatch;
    const auto at = FindMasked(test.bytes, {window, length});
    if (!at)
        return MagicResult::NoMatch;
    if (held) {
        held->offset = from + *at;
        held->value = from;
    }
    return MagicResult::Match;
}

// Whether the weighing of every language names the test's language, or
// its pair of languages as too close to tell apart.
bool LanguageHolds(const StructureTest& test, StructureCache& cache)
{
    if (!cache.languages || cache.languages->Empty())
        return false;
    if (!cache.languageWeighed) {
        cache.languageWeighed = true;
        WeighLanguages(*cache.languages, cache.textView, cache.textCut, cache.verdict);
    }
    const LanguageVerdict& verdict = cache.verdict;
    const std::vector<std::string>& names = cache.languages->names;
    if (test.namePieces.size() == 1)
        return verdict.clear && names[verdict.best] == test.namePieces[0];
    if (!verdict.pair)
        return false;
    const std::string_view a = names[verdict.best];
    const std::string_view b = names[verdict.second];
    return (a == test.namePieces[0] && b == test.namePieces[1]) || (a == test.namePieces[1] && b == test.namePieces[0]);
}

// Every text form holds only on text; the others then look at its shape.
MagicResult TestText(const MagicRule& rule, const ByteFetch& fetch, StructureCache& cache, StructureHeld* held)
{
    if (!TextOf(fetch, cache))
        return MagicResult::NoMatch;
    const StructureTest& test = rule.structure;
    const std::string_view view = cache.textView;
    bool holds = false;
    std::string root;
    switch (rule.form) {
    case MagicForm::Text:
        holds = !test.encoding || *test.encoding == *cache.textEncoding;
        break;
    case MagicForm::Json:
        holds = test.lines ? JsonLinesHolds(view, cache.textCut) : JsonHolds(view, cache.textCut);
        break;
    case MagicForm::XmlRoot: {
        if (!cache.xmlRootRead) {
            cache.xmlRoot = XmlRootTag(view);
            cache.xmlRootRead = true;
        }
        const std::optional<XmlStartTag>& tag = cache.xmlRoot;
        holds = tag && RootFits(test, *tag);
        if (tag)
            root = tag->name;
        break;
    }
    case MagicForm::Table:
        holds = TableHolds(view, test.delimiter, cache.textCut);
        break;
    case MagicForm::Line:
        holds = view.starts_with(test.namePieces.front());
        break;
    case MagicForm::Header:
        holds = HeaderHolds(view, test.namePieces, cache.textCut);
        break;
    case MagicForm::Yaml:
        holds = YamlHolds(view, cache.textCut);
        break;
    case MagicForm::Ini:
        holds = IniHolds(view, cache.textCut);
        break;
    case MagicForm::Language:
        holds = LanguageHolds(test, cache);
        if (holds && held)
            root = DescribeVerdict(*cache.languages, cache.verdict);
        break;
    case MagicForm::Weigh:
        // Evidence is weighed by its type's lang test, for all languages at once.
        holds = true;
        break;
    default:
        break;
    }
    if (!holds)
        return MagicResult::NoMatch;
    if (held) {
        held->encoding = cache.textEncoding;
        held->name = root;
    }
    return MagicResult::Match;
}

} // namespace

bool MaskedMatchAt(std::span<const MaskedByte> bytes, const std::uint8_t* at)
{
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        if ((at[k] & bytes[k].mask) != bytes[k].value)
            return false;
    }
    return true;
}

std::optional<std::uint64_t> FindMasked(std::span<const MaskedByte> bytes, std::span<const std::uint8_t> data)
{
    if (data.size() < bytes.size())
        return std::nullopt;
    // Candidates are where the first fully compared byte fits; memchr finds them.
    const auto key = std::find_if(bytes.begin(), bytes.end(), [](const MaskedByte& b) { return b.mask == 0xFF; });
    const std::size_t k = static_cast<std::size_t>(key - bytes.begin());
    const std::size_t last = data.size() - bytes.size();
    for (std::size_t start = 0; start <= last; ++start) {
        if (key != bytes.end()) {
            const void* hit = std::memchr(data.data() + start + k, key->value, last - start + 1);
            if (!hit)
                return std::nullopt;
            start = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - data.data()) - k;
        }
        if (MaskedMatchAt(bytes, data.data() + start))
            return start;
    }
    return std::nullopt;
}

void StructureCache::Reset()
{
    zipStatus.reset();
    ClearKeepingLittle(zip.raw);
    ClearKeepingLittle(zip.entries);
    compoundStatus.reset();
    peStatus.reset();
    ClearKeepingLittle(compound.sectors);
    ClearKeepingLittle(compound.entries);
    for (Payload& payload : payloads)
        payload.used = false;
    nextPayload = 0;
    textStatus.reset();
    ClearKeepingLittle(textHead);
    ClearKeepingLittle(textTail);
    textEncoding.reset();
    textView.clear();
    textCut = false;
    xmlRootRead = false;
    xmlRoot.reset();
    languageWeighed = false;
}

MagicResult TestStructure(const MagicRule& rule, const ByteFetch& fetch, StructureCache& cache, StructureHeld* held)
{
    const StructureTest& test = rule.structure;
    switch (rule.form) {
    case MagicForm::Classic:
        break;
    case MagicForm::Pointer: {
        const PointerReading pointer = ReadPointer(fetch, test.at, test.width, test.displacement, test.bytes.size());
        if (pointer.status != StructureStatus::Found)
            return MagicResult::NoMatch;
        const std::uint8_t* bytes = fetch.Bytes(pointer.target, test.bytes.size());
        if (!bytes || !MaskedMatchAt(test.bytes, bytes))
            return MagicResult::NoMatch;
        if (held) {
            held->offset = pointer.target;
            held->value = pointer.value;
        }
        return MagicResult::Match;
    }
    case MagicForm::ZipMember:
        return TestZipMember(rule, fetch, cache, held);
    case MagicForm::OleEntry: {
        const CompoundDirectory* directory = CompoundOf(fetch, cache);
        std::u16string name;
        if (!directory || FindCompoundEntry(fetch, *directory, test.oleName, name) != StructureStatus::Found)
            return MagicResult::NoMatch;
        if (held)
            held->name = Utf8FromUtf16(name);
        return MagicResult::Match;
    }
    case MagicForm::OleClsid: {
        const CompoundDirectory* directory = CompoundOf(fetch, cache);
        return directory && directory->rootClsid == test.clsid ? MagicResult::Match : MagicResult::NoMatch;
    }
    case MagicForm::Gzip:
    case MagicForm::Zlib:
        return TestCompressed(rule, fetch, cache, held);
    case MagicForm::Near:
        return TestNear(rule, fetch, cache, held);
    case MagicForm::NonText:
        // Exactly where the text forms find no text: a sample that could not
        // be read is neither, and an empty one holds no bytes to be anything.
        return fetch.size > 0 && !TextOf(fetch, cache) && cache.textStatus == StructureStatus::Found
                   ? MagicResult::Match
                   : MagicResult::NoMatch;
    case MagicForm::Text:
    case MagicForm::Json:
    case MagicForm::XmlRoot:
    case MagicForm::Table:
    case MagicForm::Line:
    case MagicForm::Header:
    case MagicForm::Yaml:
    case MagicForm::Ini:
    case MagicForm::Language:
    case MagicForm::Weigh:
        return TestText(rule, fetch, cache, held);
    }
    return MagicResult::NoMatch;
}
