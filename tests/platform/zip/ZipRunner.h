// Drives one packing or unpacking run of the zip call sets and records its messages.
#pragma once

#include "platform/zip/AddUnzip.h"
#include "platform/zip/AddZip.h"
#include "tests/support/ZipFixtures.h"

#include <functional>
#include <string>
#include <vector>

namespace test {

struct ZipMessage {
    int type;
    std::string text;
};

struct ZipRun {
    static inline std::vector<ZipMessage> messages;
    // Called for every message after it is recorded; the return value is the callback's answer.
    static inline std::function<int(const ZipMessage&)> hook;

    static int Callback(std::intptr_t, std::uint8_t type, const char* text) {
        messages.push_back({type, text});
        return hook ? hook(messages.back()) : 1;
    }

    // The FileStatus messages' texts.
    static std::vector<std::string> FileStatuses() {
        std::vector<std::string> out;
        for (const auto& m : messages)
            if (m.type == 22) out.push_back(m.text);
        return out;
    }

    static void Reset() {
        messages.clear();
        hook = nullptr;
    }

    static int Pack(const std::string& archive, const std::vector<std::string>& files, const std::string& listDir,
                    int level = 3) {
        const std::string list = listDir + "/list.txt";
        {
            std::ofstream out(list, std::ios::binary);
            for (const auto& f : files) out << f << "\r\n";
        }
        azip::addZIP_Initialise();
        azip::addZIP_InstallCallback(&Callback);
        azip::addZIP_ArchiveName(archive.c_str());
        azip::addZIP_IncludeListFile(list.c_str());
        azip::addZIP_SaveStructure(0);
        azip::addZIP_SetCompressionLevel(level);
        azip::addZIP_Span(0);
        return azip::addZIP();
    }

    static int Unpack(const std::string& archive, const std::string& target) {
        azip::addUNZIP_Initialise();
        azip::addUNZIP_InstallCallback(&Callback);
        azip::addUNZIP_ArchiveName(archive.c_str());
        azip::addUNZIP_ExtractTo(target.c_str());
        azip::addUNZIP_RestoreAttributes(1);
        azip::addUNZIP_RestoreStructure(0);
        return azip::addUNZIP();
    }
};

} // namespace test
