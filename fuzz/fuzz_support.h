// What the fuzz targets share: a scratch folder of their own for the files
// they hand to the real file layer, and a loud stop on a wrong answer.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

// A wrong answer is as much a finding as a crash: abort, so that libFuzzer
// keeps the input.
#define FUZZ_CHECK(condition)                                                                 \
    do {                                                                                      \
        if (!(condition)) {                                                                   \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                     \
        }                                                                                     \
    } while (0)

struct ScratchDir {
    std::filesystem::path path;

    ScratchDir()
    {
        // Memory-backed where there is one: the targets write a file per input.
        const std::filesystem::path base = std::filesystem::exists("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                                                 : std::filesystem::temp_directory_path();
        path = base / ("kindsniffer-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }

    std::filesystem::path Write(const std::string& name, std::string_view bytes) const
    {
        auto file = path / name;
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        FUZZ_CHECK(out.good());
        return file;
    }
};

inline std::string_view AsText(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}
