#include "tests/fuzz/FuzzHarness.h"

#include "platform/engine/ParadoxGeometry.h"
#include "platform/engine/ParadoxWriters.h"

#include <filesystem>
#include <fstream>

namespace fuzz {

namespace fs = std::filesystem;
using namespace engine::paradox;

namespace {

const std::uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

bool Same(const TBlobResult& a, const TBlobResult& b) { return a.Ok == b.Ok && a.Bytes == b.Bytes && a.Error == b.Error; }

// The blob of every field; a good blob must be as long as its descriptor says.
std::vector<TBlobResult> ReadAll(const std::vector<std::string>& fields, const TMemoFile& memo) {
    std::vector<TBlobResult> out;
    for (const auto& f : fields) {
        const int size = static_cast<int>(f.size());
        out.push_back(ReadBlobField(Bytes(f), size, &memo));
        if (out.back().Ok && out.back().Bytes.size() != ReadBlobDescriptor(Bytes(f), size).Length)
            Fail("a blob read as good is not as long as its descriptor says");
    }
    return out;
}

std::unique_ptr<TMemoFile> OpenMemo(const std::string& path, bool encrypted) {
    TProblemList problems;
    auto memo = TMemoFile::Open(path, encrypted, problems);
    for (const auto& p : problems) p.Describe();
    return memo;
}

// Stores `values` through `writer` into fields shaped like `shapes` and returns the fields.
std::vector<std::string> StoreAll(TMemoWriter& writer, const std::vector<std::string>& values,
                                  const std::vector<std::string>& shapes) {
    std::vector<std::string> fields;
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::string field(shapes[i].size(), '\0');
        writer.Store(values[i], reinterpret_cast<std::uint8_t*>(field.data()), static_cast<int>(field.size()));
        fields.push_back(std::move(field));
    }
    writer.Finish();
    return fields;
}

void ExpectReadBack(const std::vector<std::string>& fields, const std::vector<std::string>& values,
                    const std::string& memoPath, const char* what) {
    const auto memo = OpenMemo(memoPath, false);
    const auto read = ReadAll(fields, *memo);
    for (std::size_t i = 0; i < values.size(); ++i)
        if (!read[i].Ok || read[i].Bytes != values[i])
            Fail(std::string("a blob stored ") + what + " reads back " + (read[i].Ok ? "changed" : "as bad: " + read[i].Error));
}

} // namespace

void ExerciseMemo(const TMemoInput& input, const std::string& dir) {
    const std::string path = (fs::path(dir) / "T.mb").string();
    std::ofstream(path, std::ios::binary).write(input.MemoBytes.data(), static_cast<std::streamsize>(input.MemoBytes.size()));
    const auto forward = ReadAll(input.Fields, *OpenMemo(path, input.Encrypted));

    // Backwards through a fresh store: what the block cache holds must not change a result.
    const auto memo = OpenMemo(path, input.Encrypted);
    for (std::size_t i = input.Fields.size(); i-- > 0;)
        if (!Same(ReadBlobField(Bytes(input.Fields[i]), static_cast<int>(input.Fields[i].size()), memo.get()), forward[i]))
            Fail("a blob reads differently in another order");

    std::vector<std::string> values, shapes;
    for (std::size_t i = 0; i < forward.size(); ++i)
        if (forward[i].Ok) {
            values.push_back(forward[i].Bytes);
            shapes.push_back(input.Fields[i]);
        }
    const std::string fresh = (fs::path(dir) / "N.mb").string();
    ExpectReadBack(StoreAll(*TMemoWriter::CreateNew(fresh), values, shapes), values, fresh, "in a new memo file");
    if (input.Encrypted) return;

    // Appended to the store itself: new blobs read back, and every blob that was good before
    // is untouched.
    const auto added = StoreAll(*TMemoWriter::OpenForAppend(path), values, shapes);
    ExpectReadBack(added, values, path, "at the end of the memo file");
    const auto after = ReadAll(input.Fields, *OpenMemo(path, false));
    for (std::size_t i = 0; i < forward.size(); ++i)
        if (forward[i].Ok && !Same(after[i], forward[i])) Fail("appending blobs changed one that was there");
}

} // namespace fuzz
