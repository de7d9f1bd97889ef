// A table family as another program finds it on the disk: the data file read by hand (see
// HandReader.h) and by pxlib, with no journal completed and nothing forgiven. Tests judge a
// family change that failed part way by what these see. Including files link pxlib.
#pragma once

#include "platform/engine/TableFamily.h"
#include "platform/rtl/Paths.h"
#include "tests/support/HandReader.h"

#include <gtest/gtest.h>
extern "C" {
#include <paradox.h>
}

#include <map>
#include <string>
#include <vector>

namespace test {

// The raw records pxlib reads from the data file at `path` (it opens no memo file).
inline std::vector<std::string> ReadTableWithPxlib(const std::string& path) {
    std::vector<std::string> out;
    pxdoc_t* doc = PX_new();
    if (PX_open_file(doc, path.c_str()) < 0) {
        ADD_FAILURE() << "pxlib cannot open " << path;
        PX_delete(doc);
        return out;
    }
    const int size = PX_get_recordsize(doc);
    std::vector<char> buf(static_cast<std::size_t>(size));
    for (int r = 0; r < PX_get_num_records(doc); ++r) {
        if (PX_get_record(doc, r, buf.data()) == nullptr) {
            ADD_FAILURE() << "pxlib cannot read record " << r << " of " << path;
            break;
        }
        out.emplace_back(buf.data(), buf.size());
    }
    PX_close(doc);
    PX_delete(doc);
    return out;
}

// The record count pxlib reads from the data file at `path`, -1 when it cannot open it.
inline int PxlibRecordCount(const std::string& path) {
    pxdoc_t* doc = PX_new();
    const int count = PX_open_file(doc, path.c_str()) < 0 ? -1 : PX_get_num_records(doc);
    PX_close(doc);
    PX_delete(doc);
    return count;
}

// The members of table `base` in `dir` (no temporaries, no journal), by file name, with bytes.
inline std::map<std::string, std::string> MemberBytes(const std::string& dir, const std::string& base) {
    std::map<std::string, std::string> out;
    for (const auto& path : engine::FindTableFamily(dir, base)) out[rtl::ExtractFileName(path)] = FileBytes(path);
    return out;
}

// A data file's bytes with its last-update time blanked: every writer stamps the second it
// wrote the header, so two runs of one change compare alike only without it.
inline std::string WithoutUpdateTime(std::string bytes) {
    if (bytes.size() >= 0x64 && static_cast<std::uint8_t>(bytes[0x39]) >= 5) bytes.replace(0x60, 4, 4, '\0');
    return bytes;
}

// What another program finds of table `base` in `dir` after a change that stopped part way:
// its data file is byte for byte the one of `before` or of `after` (families read before
// the change and after a clean one; the last-update time aside); the new one reads whole, by
// hand and through pxlib, and stands only beside the other new members (an old index or memo file beside new rows would
// mislead the reader). Members whose old bytes must stand while the old data
// file does are named in `keptWithOldData` (a memo file the old rows point into). Returns
// true when the new data file stands.
inline bool ExpectOldOrNewFamily(const std::string& dir, const std::string& base,
                                 const std::map<std::string, std::string>& before,
                                 const std::map<std::string, std::string>& after,
                                 const std::vector<std::string>& keptWithOldData = {}) {
    const auto now = MemberBytes(dir, base);
    const std::string dataName = base + ".db";
    const auto data = now.find(dataName);
    if (data == now.end()) {
        ADD_FAILURE() << dataName << " is gone";
        return false;
    }
    const bool isNew = WithoutUpdateTime(data->second) == WithoutUpdateTime(after.at(dataName));
    if (!isNew && data->second != before.at(dataName)) {
        ADD_FAILURE() << dataName << " is neither the old data file nor the new one";
        return false;
    }
    if (!isNew) {
        // The old data file, byte for byte: whatever it held (damage included) is still there,
        // and the members its rows point into must be too.
        for (const auto& name : keptWithOldData) {
            const auto it = now.find(name);
            if (it == now.end() || it->second != before.at(name)) ADD_FAILURE() << "the old data file stands beside a changed " << name;
        }
        return false;
    }
    const std::string path = rtl::WithTrailingSeparator(dir) + dataName;
    const THandReadTable byHand = ReadTableByHand(path);
    for (const auto& f : byHand.Faults) ADD_FAILURE() << dataName << ": " << f;
    const std::vector<std::string> read = ReadTableWithPxlib(path);
    EXPECT_EQ(read.size(), byHand.Records.size()) << "pxlib reads another number of rows than the chain holds";
    for (std::size_t i = 0; i < read.size() && i < byHand.Records.size(); ++i)
        if (read[i] != byHand.Records[i]) {
            ADD_FAILURE() << "pxlib reads row " << i << " other than the chain holds it";
            break;
        }
    for (const auto& [name, bytes] : after) {
        const auto it = now.find(name);
        if (it == now.end()) ADD_FAILURE() << "the new data file stands without " << name;
        else if (name != dataName && it->second != bytes) ADD_FAILURE() << "the new data file stands beside the old " << name;
    }
    for (const auto& [name, bytes] : now)
        if (!after.count(name)) ADD_FAILURE() << "the new data file stands beside " << name << ", which the change removes";
    return true;
}

} // namespace test
