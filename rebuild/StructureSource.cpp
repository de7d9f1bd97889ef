#include "rebuild/StructureSource.h"

#include "platform/engine/ParadoxTables.h"

#include <algorithm>

namespace rebuild {

TStructureSource StructureFromFile(const std::string& path, const std::string& name) {
    TStructureSource source;
    source.Name = name;
    const auto file = engine::paradox::TRandomAccessFile::Open(path);
    source.Size = file->Size();
    source.Head.resize(static_cast<std::size_t>(std::min<std::uint64_t>(source.Size, StructureHeadBytes)));
    file->ReadAt(0, source.Head.data(), source.Head.size());
    return source;
}

} // namespace rebuild
