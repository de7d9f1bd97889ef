// A whole table copied into a new one: the same fields, primary key, block size, code page
// and sort order, every row with every value unchanged (autoincrement values and blobs
// included) and the source's autoincrement counter.
#pragma once

#include <string>

namespace engine {

// `sourcePath` and `destPath` name data files (".db" optional). Raises EDBEngineError when
// the source cannot be read or the destination exists already; a failed copy removes the
// destination it began.
void CopyTable(const std::string& sourcePath, const std::string& destPath);

} // namespace engine
