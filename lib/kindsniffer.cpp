// The C interface over the detection core. No C++ exception leaves a
// function here: running out of memory becomes a null or an error code.
#include "kindsniffer.h"

#include "detection.h"
#include "explain.h"
#include "platform_lib.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

struct kindsniffer_set {
    SignatureTable table;
};

struct kindsniffer_result {
    kindsniffer_state state = KINDSNIFFER_UNDETERMINED;
    int systemError = 0;
    std::string errorMessage;
    std::string title;
    std::vector<std::string> extensions;
    std::string mimeType;
    bool general = false;
    std::string basis;
};

namespace {

void SetError(kindsniffer_error* error, kindsniffer_error_code code, const std::string& message, int systemError = 0,
              int line = 0)
{
    if (!error)
        return;
    error->code = code;
    error->system_error = systemError;
    error->line = line > 0 ? static_cast<std::uint32_t>(line) : 0;
    error->column = 0;  // the parser tells only the line
    std::snprintf(error->message, sizeof error->message, "%s", message.c_str());
}

// Titles and extensions become UTF-8 once, when the set opens, by the rule
// the console program follows for each answer.
void TextToUtf8(SignatureTable& table)
{
    for (SignatureType& type : table.types) {
        type.title = SignatureTextAsUtf8(type.title, table.declaredEncoding);
        for (std::string& extension : type.extensions)
            extension = SignatureTextAsUtf8(extension, table.declaredEncoding);
    }
}

// A table as loaded, or null with the reason in `error`. `name` says which
// set, for the message; `openError` is asked only when the file did not open.
template <class OpenError>
kindsniffer_set* Finish(SignatureTable&& table, const SignatureXmlError& xml, const std::string& name,
                        kindsniffer_error* error, OpenError openError)
{
    switch (table.file) {
    case WholeFileResult::Read:
        break;
    case WholeFileResult::CannotOpen: {
        const std::error_code code = openError();
        SetError(error, KINDSNIFFER_ERROR_READ, name + ": cannot open: " + SystemMessage(code), SystemCode(code));
        return nullptr;
    }
    case WholeFileResult::NotRegular:
        SetError(error, KINDSNIFFER_ERROR_NOT_A_FILE, name + ": " + WholeFileProblem(table.file));
        return nullptr;
    case WholeFileResult::TooLarge:
        SetError(error, KINDSNIFFER_ERROR_TOO_LARGE, name + ": " + WholeFileProblem(table.file));
        return nullptr;
    case WholeFileResult::ReadFailed: {
        const std::error_code code = std::make_error_code(std::errc::io_error);
        SetError(error, KINDSNIFFER_ERROR_READ, name + ": cannot read: " + SystemMessage(code), SystemCode(code));
        return nullptr;
    }
    }
    if (xml.failed) {
        SetError(error, KINDSNIFFER_ERROR_XML,
                 name + ": not well-formed XML" + (xml.line > 0 ? " at line " + std::to_string(xml.line) : std::string())
                     + ": " + xml.message,
                 0, xml.line);
        return nullptr;
    }
    if (table.state != SignatureFileState::Usable) {
        SetError(error, KINDSNIFFER_ERROR_NO_TYPES, name + ": no <dat><types> list, so no type to name");
        return nullptr;
    }
    TextToUtf8(table);
    auto* set = new kindsniffer_set{std::move(table)};
    SetError(error, KINDSNIFFER_OK, {});
    return set;
}

kindsniffer_set* OpenPath(const std::filesystem::path& path, const std::string& name, kindsniffer_error* error)
{
    SignatureXmlError xml;
    SignatureTable table = LoadSignatureTable(path, &xml);
    return Finish(std::move(table), xml, name, error, [&] {
        // The loader tells only that the open failed: the system's reason comes from trying once more.
        std::error_code code;
        OpenFileForDetection(path, code);
        return code ? code : std::make_error_code(std::errc::io_error);
    });
}

kindsniffer_result* MakeResult(const DetectionOutcome& outcome, const DetectionBasis* basis)
{
    auto* result = new kindsniffer_result;
    switch (outcome.state) {
    case DetectionState::Detected:
        result->state = KINDSNIFFER_DETECTED;
        result->title = outcome.title;
        result->extensions = outcome.extensions;
        result->mimeType = outcome.mimeType;
        result->general = outcome.general;
        break;
    case DetectionState::Undetermined:
        result->state = KINDSNIFFER_UNDETERMINED;
        break;
    case DetectionState::Unreadable:
        result->state = KINDSNIFFER_UNREADABLE;
        result->systemError = SystemCode(outcome.error);
        result->errorMessage = SystemMessage(outcome.error);
        break;
    }
    if (basis) {
        for (const std::string& line : ExplainLines(outcome.state, *basis))
            result->basis += line + "\n";
    }
    return result;
}

std::string Utf8Text(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

const char* Text(const kindsniffer_result* result, std::string kindsniffer_result::*member)
{
    return result ? (result->*member).c_str() : "";
}

// Opening a set allocates, and the file system's calls throw on a path they
// cannot convert; neither may cross the C interface as an exception.
template <typename Open>
kindsniffer_set* OpenCaught(kindsniffer_error* error, Open open)
{
    try {
        return open();
    } catch (const std::bad_alloc&) {
        SetError(error, KINDSNIFFER_ERROR_MEMORY, "out of memory");
        return nullptr;
    } catch (const std::exception& failure) {
        SetError(error, KINDSNIFFER_ERROR_READ, std::string("cannot open the set: ") + failure.what());
        return nullptr;
    }
}

} // namespace

extern "C" {

int kindsniffer_api_version(void)
{
    return KINDSNIFFER_API_VERSION;
}

const char* kindsniffer_version(void)
{
    return KINDSNIFFER_VERSION;
}

kindsniffer_set* kindsniffer_set_open_file(const char* path, kindsniffer_error* error)
{
    if (!path) {
        SetError(error, KINDSNIFFER_ERROR_ARGUMENT, "no path given");
        return nullptr;
    }
    return OpenCaught(error, [&]() -> kindsniffer_set* {
        const std::optional<std::filesystem::path> native = PathFromUtf8(path);
        if (!native) {
            const std::error_code code = BadPathError();
            SetError(error, KINDSNIFFER_ERROR_READ, std::string(path) + ": cannot open: " + SystemMessage(code),
                     SystemCode(code));
            return nullptr;
        }
        return OpenPath(*native, path, error);
    });
}

kindsniffer_set* kindsniffer_set_open_memory(const void* bytes, size_t length, kindsniffer_error* error)
{
    if (!bytes && length > 0) {
        SetError(error, KINDSNIFFER_ERROR_ARGUMENT, "no bytes given");
        return nullptr;
    }
    return OpenCaught(error, [&]() -> kindsniffer_set* {
        SignatureXmlError xml;
        SignatureTable table = ParseSignatureTable({static_cast<const char*>(bytes), length}, &xml);
        return Finish(std::move(table), xml, "the set in memory", error, [] { return std::error_code(); });
    });
}

kindsniffer_set* kindsniffer_set_open_shipped(kindsniffer_error* error)
{
    return OpenCaught(error, [&]() -> kindsniffer_set* {
        const std::filesystem::path folder = LibraryFolder();
        if (folder.empty()) {
            SetError(error, KINDSNIFFER_ERROR_READ, "the library's own folder is unknown, so the shipped set is too");
            return nullptr;
        }
        std::vector<std::filesystem::path> places{folder / "Kindsniffer.xml"};
        if (*KINDSNIFFER_SHIPPED_FROM_LIBRARY)
            places.push_back((folder / KINDSNIFFER_SHIPPED_FROM_LIBRARY).lexically_normal());
        std::string looked;
        for (const std::filesystem::path& place : places) {
            std::error_code code;
            if (std::filesystem::exists(place, code))
                return OpenPath(place, Utf8Text(place), error);
            looked += (looked.empty() ? "" : " and ") + Utf8Text(place);
        }
        SetError(error, KINDSNIFFER_ERROR_READ, "no shipped set: looked for " + looked,
                 SystemCode(std::make_error_code(std::errc::no_such_file_or_directory)));
        return nullptr;
    });
}

size_t kindsniffer_set_type_count(const kindsniffer_set* set)
{
    return set ? set->table.types.size() : 0;
}

void kindsniffer_set_free(kindsniffer_set* set)
{
    delete set;
}

kindsniffer_result* kindsniffer_identify_file(const kindsniffer_set* set, const char* path, unsigned flags)
{
    if (!set || !path)
        return nullptr;
    try {
        DetectionBasis basis;
        DetectionBasis* wanted = flags & KINDSNIFFER_EXPLAIN ? &basis : nullptr;
        const std::optional<std::filesystem::path> native = PathFromUtf8(path);
        if (!native)
            return MakeResult({DetectionState::Unreadable, BadPathError(), {}, {}, false, {}}, nullptr);
        return MakeResult(DetectWithTable(set->table, *native, wanted), wanted);
    } catch (const std::exception&) {
        return nullptr;  // memory ran out
    }
}

kindsniffer_result* kindsniffer_identify_buffer(const kindsniffer_set* set, const void* bytes, size_t length,
                                                unsigned flags)
{
    if (!set || (!bytes && length > 0))
        return nullptr;
    try {
        DetectionBasis basis;
        DetectionBasis* wanted = flags & KINDSNIFFER_EXPLAIN ? &basis : nullptr;
        const std::span<const std::uint8_t> span(static_cast<const std::uint8_t*>(bytes), length);
        return MakeResult(DetectBytes(set->table, span, wanted), wanted);
    } catch (const std::exception&) {
        return nullptr;  // memory ran out
    }
}

void kindsniffer_result_free(kindsniffer_result* result)
{
    delete result;
}

kindsniffer_state kindsniffer_result_state(const kindsniffer_result* result)
{
    return result ? result->state : KINDSNIFFER_UNDETERMINED;
}

const char* kindsniffer_result_title(const kindsniffer_result* result)
{
    return Text(result, &kindsniffer_result::title);
}

size_t kindsniffer_result_extension_count(const kindsniffer_result* result)
{
    return result ? result->extensions.size() : 0;
}

const char* kindsniffer_result_extension(const kindsniffer_result* result, size_t index)
{
    return result && index < result->extensions.size() ? result->extensions[index].c_str() : nullptr;
}

const char* kindsniffer_result_mime_type(const kindsniffer_result* result)
{
    return Text(result, &kindsniffer_result::mimeType);
}

int kindsniffer_result_general(const kindsniffer_result* result)
{
    return result && result->general ? 1 : 0;
}

int kindsniffer_result_system_error(const kindsniffer_result* result)
{
    return result ? result->systemError : 0;
}

const char* kindsniffer_result_error_message(const kindsniffer_result* result)
{
    return Text(result, &kindsniffer_result::errorMessage);
}

const char* kindsniffer_result_basis(const kindsniffer_result* result)
{
    return Text(result, &kindsniffer_result::basis);
}

} // extern "C"
