#include "platform/engine/paradox/FamilyJournal.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/paradox/WritableFile.h"
#include "platform/rtl/AdvisoryLock.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Messages.h"

#include <cerrno>
#include <cstring>
#include <set>

namespace engine::paradox {

namespace {

constexpr const char* Magic = "tablora family journal 1";

// Journals this process is carrying out right now: not to be "recovered" under our feet.
std::set<std::string>& ActiveJournals() {
    static std::set<std::string> active;
    return active;
}

std::string Escape(const std::string& name) {
    std::string out;
    for (const char c : name) {
        if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", static_cast<unsigned char>(c));
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const std::string hex = text.substr(i + 1, 2);
            out += static_cast<char>(std::strtol(hex.c_str(), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string Serialise(const std::vector<TFamilyStep>& steps) {
    std::string text = std::string(Magic) + "\n";
    for (const auto& s : steps) {
        if (s.What == TFamilyStep::Kind::Rename)
            text += "rename\t" + Escape(s.From) + "\t" + Escape(s.To) + "\n";
        else
            text += "unlink\t" + Escape(s.From) + "\n";
    }
    return text + "end\n";
}

// The steps of a journal; false when it is not a complete journal of ours.
bool Parse(const std::string& text, std::vector<TFamilyStep>& steps) {
    steps.clear();
    std::size_t pos = 0;
    bool first = true, ended = false;
    while (pos < text.size()) {
        const std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) return false;
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (first) {
            if (line != Magic) return false;
            first = false;
            continue;
        }
        if (line == "end") {
            ended = true;
            break;
        }
        const auto t1 = line.find('\t');
        if (t1 == std::string::npos) return false;
        const std::string kind = line.substr(0, t1);
        const std::string rest = line.substr(t1 + 1);
        if (kind == "rename") {
            const auto t2 = rest.find('\t');
            if (t2 == std::string::npos) return false;
            steps.push_back(TFamilyStep{TFamilyStep::Kind::Rename, Unescape(rest.substr(0, t2)), Unescape(rest.substr(t2 + 1))});
        } else if (kind == "unlink") {
            steps.push_back(TFamilyStep{TFamilyStep::Kind::Unlink, Unescape(rest), {}});
        } else {
            return false;
        }
    }
    return ended;
}

[[noreturn]] void Fail(rtl::TMsg what, const std::string& path, int err) {
    throw EDBEngineError(rtl::Format(what, {path, rtl::SystemReason(err)}), EngineErrorKind::Io);
}

// Whether a name is taken. A name whose status cannot be read may be a journal or a file
// still to be renamed: raises rather than take it for none.
bool Exists(const std::string& path) {
    rtl::TFileStatus st;
    if (rtl::FileSystem().Lstat(path, st) == 0) return true;
    if (errno == ENOENT) return false;
    Fail(rtl::TMsg::FileCannotOpen, path, errno);
}

// Carries out the steps that are still to do (a rename whose source is gone was done).
// Raises at the first failure.
void Complete(const std::string& dir, const std::vector<TFamilyStep>& steps, std::vector<std::size_t>* done) {
    const std::string base = rtl::WithTrailingSeparator(dir);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const TFamilyStep& s = steps[i];
        if (s.What == TFamilyStep::Kind::Rename) {
            if (!Exists(base + s.From)) continue;
            if (rtl::FileSystem().Rename(base + s.From, base + s.To) != 0) Fail(rtl::TMsg::FileCannotRename, base + s.From, errno);
        } else {
            if (rtl::FileSystem().Unlink(base + s.From) != 0 && errno != ENOENT) Fail(rtl::TMsg::FileCannotDelete, base + s.From, errno);
        }
        if (done) done->push_back(i);
    }
    if (rtl::FileSystem().SyncDirectory(dir) != 0) Fail(rtl::TMsg::DirectoryCannotFlush, dir, errno);
}

// The journal's text; raises when it cannot be read, since a journal read halfway would look
// unfinished and be thrown away with its steps half done.
std::string ReadSmallFile(int fd, const std::string& path) {
    std::string text;
    char buf[4096];
    std::uint64_t offset = 0;
    for (;;) {
        const ssize_t n = rtl::FileSystem().ReadAt(fd, buf, sizeof buf, offset);
        if (n < 0) Fail(rtl::TMsg::FileCannotRead, path, errno);
        if (n == 0) break;
        text.append(buf, static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
        if (text.size() > (1u << 20)) break;  // no journal of ours is this long
    }
    return text;
}

} // namespace

std::string JournalName(const std::string& dataFileName) { return ".~" + dataFileName + ".journal"; }

bool JournalPending(const std::string& dir, const std::string& dataFileName) {
    return Exists(rtl::WithTrailingSeparator(dir.empty() ? "." : dir) + JournalName(dataFileName));
}

void RecoverFamiliesNamed(const std::string& dir, const std::string& baseName) {
    const std::string prefix = ".~", suffix = ".journal";
    for (const auto& name : rtl::ListFiles(dir.empty() ? "." : dir, prefix + baseName + ".db" + suffix))
        RecoverFamily(dir, name.substr(prefix.size(), name.size() - prefix.size() - suffix.size()));
}

void RunFamilySteps(const std::string& dirIn, const std::string& dataFileName, const std::vector<TFamilyStep>& steps,
                    bool undoOnFailure) {
    const std::string dir = dirIn.empty() ? "." : dirIn;
    const std::string journal = rtl::WithTrailingSeparator(dir) + JournalName(dataFileName);
    RemoveStaleTemporaries(journal);
    // A journal left by a run that died is completed first; ours would otherwise replace it.
    if (Exists(journal) && !RecoverFamily(dir, dataFileName))
        throw EDBEngineError("An earlier change of table \"" + dataFileName +
                                 "\" could not be completed; it must be finished before another one starts",
                             EngineErrorKind::InvalidRequest);

    // The journal is complete and on the disk before it appears under its name, and locked
    // before anyone can see it.
    const std::string temp = TemporarySibling(journal);
    rtl::TAdvisoryLock held;
    {
        auto file = TWritableFile::Create(temp);
        try {
            held = rtl::TAdvisoryLock::Acquire(temp, rtl::LockKind::Exclusive, rtl::Text(rtl::TMsg::LockObjectJournal), 0);
            const std::string text = Serialise(steps);
            file->WriteAt(0, text.data(), text.size());
            file->Sync();
            file->Close();
        } catch (...) {
            file.reset();
            RemoveQuietly(temp);
            throw;
        }
    }
    if (rtl::FileSystem().Rename(temp, journal) != 0) {
        const int err = errno;
        RemoveQuietly(temp);
        Fail(rtl::TMsg::JournalCannotWrite, journal, err);
    }
    ActiveJournals().insert(journal);
    struct TActive {
        std::string Path;
        ~TActive() { ActiveJournals().erase(Path); }
    } active{journal};

    std::vector<std::size_t> done;
    try {
        SyncParentDirectory(journal);
        Complete(dir, steps, &done);
    } catch (const EDBEngineError& e) {
        if (!undoOnFailure) throw;
        const std::string base = rtl::WithTrailingSeparator(dir);
        bool undone = true;
        for (auto it = done.rbegin(); it != done.rend(); ++it) {
            const TFamilyStep& s = steps[*it];
            if (s.What != TFamilyStep::Kind::Rename) continue;
            undone = rtl::FileSystem().Rename(base + s.To, base + s.From) == 0 && undone;
        }
        if (undone && rtl::FileSystem().Unlink(journal) == 0) rtl::FileSystem().SyncDirectory(dir);
        throw;
    }
    if (rtl::FileSystem().Unlink(journal) != 0) Fail(rtl::TMsg::JournalCannotRemove, journal, errno);
    if (rtl::FileSystem().SyncDirectory(dir) != 0) Fail(rtl::TMsg::DirectoryCannotFlush, dir, errno);
}

namespace {

// RecoverFamily, waiting at most `waitMs` for a live writer (< 0: the default bound).
bool RecoverFamilyWaiting(const std::string& dirIn, const std::string& dataFileName, int waitMs) {
    const std::string dir = dirIn.empty() ? "." : dirIn;
    const std::string journal = rtl::WithTrailingSeparator(dir) + JournalName(dataFileName);
    if (!Exists(journal)) return true;
    if (ActiveJournals().count(journal)) return false;
    try {
        // Held by a live writer: wait for it (bounded). Free: its writer died.
        rtl::TAdvisoryLock lock =
            rtl::TAdvisoryLock::Acquire(journal, rtl::LockKind::Exclusive,
                                        rtl::Format(rtl::TMsg::LockObjectTableChange, {dataFileName}), waitMs);
        rtl::TFileDescriptor fd(rtl::FileSystem().Open(journal, O_RDONLY));
        if (!fd.Valid()) return !Exists(journal);  // finished while we waited
        std::vector<TFamilyStep> steps;
        if (!Parse(ReadSmallFile(fd.Get(), journal), steps)) {
            // Never written whole (journals are synced before they get their name): nothing
            // of it was carried out.
            fd.Reset();
            RemoveFile(journal);
            SyncParentDirectory(journal);
            return true;
        }
        fd.Reset();
        Complete(dir, steps, nullptr);
        RemoveFile(journal);
        SyncParentDirectory(journal);
        return true;
    } catch (const rtl::EError&) {
        return !Exists(journal);
    }
}

} // namespace

bool RecoverFamily(const std::string& dir, const std::string& dataFileName) {
    return RecoverFamilyWaiting(dir, dataFileName, -1);
}

bool RecoverAllFamilies(const std::string& dirIn, int waitMs) {
    const std::string dir = dirIn.empty() ? "." : dirIn;
    const std::string prefix = ".~", suffix = ".journal";
    bool all = true;
    for (const auto& name : rtl::ListFiles(dir, prefix + "*" + suffix))
        if (name.size() > prefix.size() + suffix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            all = RecoverFamilyWaiting(dir, name.substr(prefix.size(), name.size() - prefix.size() - suffix.size()),
                                       waitMs) &&
                  all;
    return all;
}

} // namespace engine::paradox
