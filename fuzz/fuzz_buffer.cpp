// The library's buffer entry point, kindsniffer_identify_buffer, over the
// shipped set. Input: the bytes of a file.
//
// The buffer must get the answer the same bytes get as a file through the
// library's path entry point: state, title, extensions, MIME type, general
// flag and basis. A buffer is never unreadable, and nothing outside it is
// read (AddressSanitizer watches a copy of exactly its size).
#include "fuzz_support.h"

#include "kindsniffer.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct SetCloser {
    void operator()(kindsniffer_set* set) const { kindsniffer_set_free(set); }
};
struct ResultCloser {
    void operator()(kindsniffer_result* result) const { kindsniffer_result_free(result); }
};
using UniqueResult = std::unique_ptr<kindsniffer_result, ResultCloser>;

const kindsniffer_set* Shipped()
{
    static const std::unique_ptr<kindsniffer_set, SetCloser> set = [] {
        kindsniffer_error error;
        kindsniffer_set* opened = kindsniffer_set_open_file(KINDSNIFFER_SHIPPED_SET, &error);
        if (!opened)
            std::fprintf(stderr, "fuzz_buffer: %s\n", error.message);
        FUZZ_CHECK(opened);
        return std::unique_ptr<kindsniffer_set, SetCloser>(opened);
    }();
    return set.get();
}

std::string Answer(const kindsniffer_result* result)
{
    std::string text = std::to_string(kindsniffer_result_state(result)) + "|" + kindsniffer_result_title(result) + "|"
                     + kindsniffer_result_mime_type(result) + "|" + std::to_string(kindsniffer_result_general(result))
                     + "|" + kindsniffer_result_basis(result);
    for (std::size_t i = 0; i < kindsniffer_result_extension_count(result); ++i)
        text += std::string("|") + kindsniffer_result_extension(result, i);
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const ScratchDir scratch;
    const kindsniffer_set* set = Shipped();
    // A heap copy of exactly the input's size, so that a read past its end is caught.
    const std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[size ? size : 1]);
    if (size)
        std::memcpy(bytes.get(), data, size);

    const UniqueResult buffer(kindsniffer_identify_buffer(set, size ? bytes.get() : nullptr, size, KINDSNIFFER_EXPLAIN));
    FUZZ_CHECK(buffer);
    FUZZ_CHECK(kindsniffer_result_state(buffer.get()) != KINDSNIFFER_UNREADABLE);

    const std::filesystem::path path = scratch.Write("input", AsText(data, size));
    const UniqueResult file(kindsniffer_identify_file(set, path.string().c_str(), KINDSNIFFER_EXPLAIN));
    FUZZ_CHECK(file);
    FUZZ_CHECK(Answer(buffer.get()) == Answer(file.get()));
    return 0;
}
