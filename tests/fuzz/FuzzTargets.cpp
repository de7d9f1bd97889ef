#include "tests/fuzz/FuzzHarness.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>

namespace fuzz {

namespace fs = std::filesystem;

namespace {

void EmptyDirectory(const std::string& dir) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) fs::remove_all(e.path(), ec);
    fs::create_directories(dir, ec);
}

void WriteFile(const fs::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Calls `part(tag, bytes)` for the leading part (tag "") and every "##FUZZ:tag\n" part.
template <class TFn>
void SplitParts(std::string_view all, TFn&& part) {
    const std::string_view marker(CompanionMarker);
    std::string_view tag;
    std::size_t at = 0;
    while (true) {
        const std::size_t next = all.find(marker, at);
        part(tag, all.substr(at, next == std::string_view::npos ? all.npos : next - at));
        if (next == std::string_view::npos) return;
        const std::size_t nameStart = next + marker.size();
        const std::size_t newline = all.find('\n', nameStart);
        if (newline == std::string_view::npos) return;
        tag = all.substr(nameStart, newline - nameStart);
        at = newline + 1;
    }
}

} // namespace

void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz: %s\n", what.c_str());
    std::abort();
}

std::string WriteTableFiles(const std::uint8_t* data, std::size_t size, const std::string& dir) {
    static const char* const extensions[] = {"mb", "px", "X02", "Y02", "XG0", "YG0"};
    EmptyDirectory(dir);
    SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), [&](std::string_view tag, std::string_view bytes) {
        if (tag.empty()) {
            WriteFile(fs::path(dir) / "T.db", bytes);
            return;
        }
        for (const char* known : extensions)
            if (tag == known) WriteFile(fs::path(dir) / ("T." + std::string(tag)), bytes);
    });
    return (fs::path(dir) / "T.db").string();
}

TMemoInput ParseMemoInput(const std::uint8_t* data, std::size_t size) {
    TMemoInput input;
    bool first = true;
    SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), [&](std::string_view tag, std::string_view bytes) {
        if (!first) {
            if (tag == "mb") input.MemoBytes.assign(bytes);
            return;
        }
        first = false;
        if (bytes.empty()) return;
        input.Encrypted = bytes[0] & 1;
        for (std::size_t at = 1; at < bytes.size();) {
            const std::size_t fieldSize = static_cast<unsigned char>(bytes[at++]);
            if (fieldSize < 10 || at + fieldSize > bytes.size()) break;
            input.Fields.emplace_back(bytes.substr(at, fieldSize));
            at += fieldSize;
        }
    });
    return input;
}

std::string FormatMemoInput(const TMemoInput& input) {
    std::string out(1, input.Encrypted ? '\x01' : '\x00');
    for (const auto& f : input.Fields) out += static_cast<char>(f.size()) + f;
    return out + CompanionMarker + "mb\n" + input.MemoBytes;
}

void RunTarget(const std::string& name, const std::uint8_t* data, std::size_t size, const std::string& dir) {
    if (name == "table") {
        ScanTable(WriteTableFiles(data, size, dir));
    } else if (name == "verify") {
        VerifyTable(WriteTableFiles(data, size, dir));
    } else if (name == "rebuild") {
        RebuildAndAccount(WriteTableFiles(data, size, dir));
    } else if (name == "memo") {
        EmptyDirectory(dir);
        ExerciseMemo(ParseMemoInput(data, size), dir);
    } else if (name == "unzip") {
        EmptyDirectory(dir);
        const std::string archive = (fs::path(dir) / "in.zip").string();
        WriteFile(archive, std::string_view(reinterpret_cast<const char*>(data), size));
        ExerciseArchive(archive, (fs::path(dir) / "t" / "out").string());
    } else {
        Fail("no fuzz target named \"" + name + "\"");
    }
}

} // namespace fuzz
