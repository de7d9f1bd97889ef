#include "platform/engine/paradox/FamilyJournalRecord.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/TableFamily.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/PercentEscape.h"
#include "platform/rtl/StringList.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace engine::paradox::journal {

namespace {

constexpr std::string_view Magic = "tablora family journal 2";
// The first format recorded no states: a journal of it cannot show that its files are still
// the ones it was written for.
constexpr std::string_view EarlierMagic = "tablora family journal 1";




std::string StateText(const TFileState& s) {
    if (s.Kind == TFileState::TKind::Absent) return "-";
    return std::string(1, static_cast<char>(s.Kind)) + std::to_string(s.Size) + ":" + std::to_string(s.ModifyNs);
}

bool ParseState(const std::string& text, TFileState& s) {
    s = {};
    if (text == "-") return true;
    if (text.size() < 4) return false;
    const char kind = text[0];
    if (kind != 'f' && kind != 'l' && kind != 'o') return false;
    s.Kind = static_cast<TFileState::TKind>(kind);
    const auto colon = text.find(':');
    if (colon == std::string::npos) return false;
    char* end = nullptr;
    const std::string size = text.substr(1, colon - 1), time = text.substr(colon + 1);
    if (size.empty() || time.empty()) return false;
    s.Size = std::strtoull(size.c_str(), &end, 10);
    if (*end != '\0') return false;
    s.ModifyNs = std::strtoll(time.c_str(), &end, 10);
    return *end == '\0';
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto tab = line.find('\t', start);
        parts.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return parts;
        start = tab + 1;
    }
}

// ---- Names ----

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (const char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

bool IsAlphanumeric(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

#ifdef _WIN32
constexpr std::string_view NotInAName = "/\\:";  // separators, and the drive's colon
#else
// A backslash and a colon are letters of a name here (a table may be called so); the system
// that reads them as a separator or a drive refuses them.
constexpr std::string_view NotInAName = "/";
#endif

// A name of one entry of the directory itself: no separator, no drive, no way up, no
// control character.
bool IsPlainName(const std::string& name) {
    if (name.empty() || name == "." || name.find("..") != std::string::npos) return false;
    for (const char c : name)
        if (NotInAName.find(c) != std::string_view::npos || static_cast<unsigned char>(c) < 0x20) return false;
    return true;
}

std::string BaseOf(const std::string& name) {
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

// A file of the table's family: its name, in any letter case, with an extension of the family.
bool IsFamilyFileOf(const std::string& name, const std::string& base) {
    // Only a Paradox index extension (".X0A", ".YG1"): a spreadsheet "Hovory.xlsx" is no table file.
    return IsPlainName(name) && IsTableFamilyExtension(rtl::ExtractFileExt(name)) && rtl::SameTextAscii(BaseOf(name), base);
}

// ".~NAME.PID.N.tmp" for NAME a file of `base` or of its work table (TemporarySibling).
bool IsTemporaryOf(const std::string& name, const std::string& base) {
    const std::string_view prefix = WorkFilePrefix, suffix = ".tmp";
    if (!IsPlainName(name) || name.size() <= prefix.size() + suffix.size() || name.rfind(prefix, 0) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    std::string rest = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    for (int part = 0; part < 2; ++part) {
        const auto dot = rest.rfind('.');
        if (dot == std::string::npos || !AllDigits(std::string_view(rest).substr(dot + 1))) return false;
        rest.resize(dot);
    }
    return IsFamilyFileOf(rest, base) || IsFamilyFileOf(rest, WorkTableBaseName(base));
}

// "<StagedFilePrefix>PID.XXXXXX.tmp": a restored file written whole before it joins a family.
bool IsStagedFile(const std::string& name) {
    const std::string_view prefix = StagedFilePrefix, suffix = ".tmp";
    if (!IsPlainName(name) || name.rfind(prefix, 0) != 0 || name.size() < prefix.size() + suffix.size() + 8 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const std::string middle = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    const auto dot = middle.find('.');
    if (dot == std::string::npos || !AllDigits(std::string_view(middle).substr(0, dot))) return false;
    const std::string letters = middle.substr(dot + 1);
    if (letters.size() != 6) return false;
    for (const char c : letters)
        if (!IsAlphanumeric(c)) return false;
    return true;
}

#ifdef _WIN32
constexpr std::string_view Separators = "/\\";
#else
constexpr std::string_view Separators = "/";
#endif

// "<StagingDirectoryPrefix>…/NAME": a restored file in a restore's staging directory.
bool IsInStagingDirectory(const std::string& name) {
    const auto sep = name.find_first_of(Separators);
    if (sep == std::string::npos) return false;
    const std::string directory = name.substr(0, sep), file = name.substr(sep + 1);
    return IsPlainName(directory) && directory.rfind(StagingDirectoryPrefix, 0) == 0 && IsPlainName(file);
}

// A staging directory that stands but is no real directory (a link leads elsewhere): nothing
// in it is ours to move into a family.
bool StagingDirectoryReplaced(const std::string& dir, const std::string& name) {
    if (!IsInStagingDirectory(name)) return false;
    rtl::TFileStatus st;
    const std::string directory = name.substr(0, name.find_first_of(Separators));
    if (rtl::FileSystem().Lstat(rtl::WithTrailingSeparator(dir) + directory, st) != 0) return errno != ENOENT;
    return !st.IsDirectory() || st.Kind == rtl::TFileKind::Symlink;
}

} // namespace

TFileState StateOf(const std::string& path) {
    rtl::TFileStatus st;
    TFileState s;
    if (rtl::FileSystem().Lstat(path, st) != 0) {
        if (errno == ENOENT) return s;
        throw EDBEngineError(rtl::Format(rtl::TMsg::FileCannotOpen, {path, rtl::SystemReason(errno)}),
                             TEngineErrorKind::Io);
    }
    s.Kind = st.Kind == rtl::TFileKind::Regular   ? TFileState::TKind::File
             : st.Kind == rtl::TFileKind::Symlink ? TFileState::TKind::Link
                                                  : TFileState::TKind::Other;
    s.Size = st.Size;
    s.ModifyNs = st.ModifyNs;
    return s;
}

std::string Serialise(const std::vector<TRecordedStep>& steps) {
    std::string text = std::string(Magic) + "\n";
    for (const auto& r : steps) {
        if (r.Step.What == TFamilyStep::TKind::Rename)
            text += "rename\t" + rtl::PercentEscape(r.Step.From) + "\t" + rtl::PercentEscape(r.Step.To) + "\t" + StateText(r.From) + "\t" +
                    StateText(r.To) + "\n";
        else
            text += "unlink\t" + rtl::PercentEscape(r.Step.From) + "\t" + StateText(r.From) + "\n";
    }
    return text + "end\n";
}

TReadResult Parse(const std::string& text, std::vector<TRecordedStep>& steps) {
    steps.clear();
    const auto firstEnd = text.find('\n');
    const std::string first = text.substr(0, firstEnd);
    // The earlier format is read for the names it touches only (states unknown).
    const bool earlier = first == EarlierMagic;
    if ((first != Magic && !earlier) || firstEnd == std::string::npos) return TReadResult::NotAJournal;
    const TReadResult read = earlier ? TReadResult::EarlierFormat : TReadResult::Read;
    std::size_t pos = firstEnd + 1;
    while (pos < text.size()) {
        const std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) return TReadResult::NotAJournal;
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        // Nothing may follow the end: a journal is written whole or not at all.
        if (line == "end") return pos == text.size() ? read : TReadResult::NotAJournal;
        const std::vector<std::string> parts = SplitTabs(line);
        TRecordedStep r;
        if (parts[0] == "rename" && parts.size() == (earlier ? 3u : 5u)) {
            r.Step.What = TFamilyStep::TKind::Rename;
            if (!rtl::PercentUnescape(parts[1], r.Step.From) || !rtl::PercentUnescape(parts[2], r.Step.To) ||
                (!earlier && (!ParseState(parts[3], r.From) || !ParseState(parts[4], r.To))))
                return TReadResult::NotAJournal;
        } else if (parts[0] == "unlink" && parts.size() == (earlier ? 2u : 3u)) {
            r.Step.What = TFamilyStep::TKind::Unlink;
            if (!rtl::PercentUnescape(parts[1], r.Step.From) || (!earlier && !ParseState(parts[2], r.From)))
                return TReadResult::NotAJournal;
        } else {
            return TReadResult::NotAJournal;
        }
        steps.push_back(std::move(r));
    }
    return TReadResult::NotAJournal;
}

std::string WhyNamesRefused(const std::string& dataFileName, const std::vector<TRecordedStep>& steps) {
    const std::string base = TableBaseName(dataFileName);
    if (!IsPlainName(dataFileName) || !rtl::SameTextAscii(rtl::ExtractFileExt(dataFileName), ".db"))
        return rtl::Format(rtl::TMsg::JournalNameNotPlain, {dataFileName});
    std::set<std::string> seen;
    auto once = [&](const std::string& name) { return seen.insert(rtl::FileNameKey(name)).second; };
    for (const auto& r : steps) {
        const TFamilyStep& s = r.Step;
        for (const std::string* name : {&s.From, &s.To}) {
            if (s.What == TFamilyStep::TKind::Unlink && name == &s.To) continue;
            const bool staged = name == &s.From && s.What == TFamilyStep::TKind::Rename && IsInStagingDirectory(*name);
            if (!IsPlainName(*name) && !staged) return rtl::Format(rtl::TMsg::JournalNameNotPlain, {*name});
            if (!once(*name)) return rtl::Format(rtl::TMsg::JournalNameTwice, {*name});
        }
        if (s.What == TFamilyStep::TKind::Unlink) {
            if (!IsFamilyFileOf(s.From, base)) return rtl::Format(rtl::TMsg::JournalNameNotOfTable, {s.From});
            continue;
        }
        const bool made = IsTemporaryOf(s.From, base) || IsStagedFile(s.From) || IsInStagingDirectory(s.From) ||
                          IsFamilyFileOf(s.From, WorkTableBaseName(base));
        if (made && IsFamilyFileOf(s.To, base)) continue;
        // Renaming the table: its files onto names no file had when the change was planned.
        if (IsFamilyFileOf(s.From, base) && IsFamilyFileOf(s.To, BaseOf(s.To)) && !IsFamilyFileOf(s.To, base) &&
            !IsWorkFileName(s.To) && r.To.Kind == TFileState::TKind::Absent)
            continue;
        return rtl::Format(rtl::TMsg::JournalNameNotOfTable, {made ? s.To : s.From});
    }
    return {};
}

std::string WhyRemovesTable(const std::string& dir, const std::string& dataFileName,
                            const std::vector<TRecordedStep>& steps) {
    const std::string base = TableBaseName(dataFileName);
    if (IsWorkFileName(base)) return {};  // our own work tables are removed whole
    // Names as the disk spells them: a step in other letter case hits nothing on a file system
    // that tells case apart, and the file it meant would stay behind.
    const auto named = [&](TFamilyStep::TKind kind, const std::string& name, bool asTarget) {
        return std::any_of(steps.begin(), steps.end(), [&](const TRecordedStep& r) {
            return r.Step.What == kind && (asTarget ? r.Step.To : r.Step.From) == name;
        });
    };
    std::vector<std::string> family;
    for (const std::string& file : rtl::ListFiles(dir, base + ".*"))
        if (IsFamilyFileOf(file, base)) family.push_back(file);
    const auto wholeFamilyGoes = [&] {
        return std::all_of(family.begin(), family.end(), [&](const std::string& file) {
            return named(TFamilyStep::TKind::Unlink, file, false) || named(TFamilyStep::TKind::Rename, file, false);
        });
    };
    for (const auto& r : steps) {
        const TFamilyStep& s = r.Step;
        const bool removesData = s.What == TFamilyStep::TKind::Unlink &&
                                 rtl::SameTextAscii(rtl::ExtractFileExt(s.From), ".db") &&
                                 !named(TFamilyStep::TKind::Rename, s.From, true);
        const bool movesOut = s.What == TFamilyStep::TKind::Rename && IsFamilyFileOf(s.From, base) &&
                              !IsFamilyFileOf(s.To, base);
        if (!removesData && !movesOut) continue;
        // A table deleted or renamed goes whole, as the engine deletes or renames one; a part
        // of it would leave the rest without its rows, or its rows without their memo.
        if (!wholeFamilyGoes()) return rtl::Format(rtl::TMsg::JournalRemovesTable, {s.From});
        // And it is renamed only to a name no table has (but the files this change moved there):
        // its files would become that table's.
        if (movesOut)
            for (const std::string& file : rtl::ListFiles(dir, BaseOf(s.To) + ".*"))
                if (IsFamilyFileOf(file, BaseOf(s.To)) && !named(TFamilyStep::TKind::Rename, file, true))
                    return rtl::Format(rtl::TMsg::JournalNameNotOfTable, {s.To});
    }
    return {};
}

TStepState JudgeStep(const std::string& dir, const TRecordedStep& r, std::string& changed) {
    const std::string base = rtl::WithTrailingSeparator(dir);
    if (StagingDirectoryReplaced(dir, r.Step.From)) {
        changed = r.Step.From;
        return TStepState::Changed;
    }
    const TFileState from = StateOf(base + r.Step.From);
    if (r.Step.What == TFamilyStep::TKind::Unlink) {
        if (from.Kind == TFileState::TKind::Absent) return TStepState::Done;
        if (from == r.From && from.Kind != TFileState::TKind::Other) return TStepState::ToDo;
        changed = r.Step.From;
        return TStepState::Changed;
    }
    const TFileState to = StateOf(base + r.Step.To);
    // Only a regular file is ever moved into a family: a link would lead its writes elsewhere.
    // Nothing under the new name is nothing lost: a replacement cut short between moving the
    // old file aside and the rename (file systems without POSIX renames) leaves just that.
    if (r.From.Kind == TFileState::TKind::File) {
        if (from == r.From && (to == r.To || to.Kind == TFileState::TKind::Absent) && to.Kind != TFileState::TKind::Other)
            return TStepState::ToDo;
        if (from.Kind == TFileState::TKind::Absent && to == r.From) return TStepState::Done;
    }
    changed = from == r.From || from.Kind == TFileState::TKind::Absent ? r.Step.To : r.Step.From;
    return TStepState::Changed;
}

std::string WhyChanged(const std::string& dataFileName, const std::string& changed) {
    if (IsFamilyFileOf(changed, TableBaseName(dataFileName))) return rtl::Format(rtl::TMsg::JournalFileChanged, {changed});
    return rtl::Text(rtl::TMsg::JournalNewFilesChanged);
}

} // namespace engine::paradox::journal
