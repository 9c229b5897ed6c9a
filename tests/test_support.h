// Scratch files for tests: each test gets its own folder, removed afterwards.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <random>
#include <string>
#include <string_view>
#include <vector>

inline std::vector<std::uint8_t> Bytes(std::initializer_list<int> values)
{
    std::vector<std::uint8_t> bytes;
    for (int v : values)
        bytes.push_back(static_cast<std::uint8_t>(v));
    return bytes;
}

struct TempDir {
    std::filesystem::path path;

    TempDir()
    {
        std::random_device entropy;
        path = std::filesystem::temp_directory_path() / ("kindsniffer-test-" + std::to_string(entropy()));
        std::filesystem::create_directories(path);
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::filesystem::path Write(const std::filesystem::path& name, std::string_view content) const
    {
        auto file = path / name;
        std::ofstream(file, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
        return file;
    }
    std::filesystem::path Write(const std::filesystem::path& name, const std::vector<std::uint8_t>& content) const
    {
        return Write(name, std::string_view(reinterpret_cast<const char*>(content.data()), content.size()));
    }

    // A signature file holding `types` inside <dat><types>.
    std::filesystem::path Signatures(std::string_view types, const std::filesystem::path& name = "sig.xml") const
    {
        return Write(name, "<?xml version=\"1.0\"?>\n<dat>\n<types>\n" + std::string(types) + "\n</types>\n</dat>\n");
    }
};
