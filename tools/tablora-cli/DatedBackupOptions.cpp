#include "tools/tablora-cli/DatedBackupOptions.h"

#include "database/DatedBackups.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"

#include <charconv>

namespace cli {

namespace {

// Date fields go in the last part of a name only: a backup is found again in one directory.
void CheckDatedName(const std::string& name, std::string_view flag, bool mustHaveFields) {
    if (database::HasDateFields(rtl::ExtractFilePath(name)))
        throw EUsageError{rtl::Format(rtl::TMsg::CliDateFieldsInDirectory, {std::string(flag)})};
    const std::string last = rtl::ExtractFileName(name);
    if (const std::string field = database::UnreadableDateField(last); !field.empty())
        throw EUsageError{rtl::Format(rtl::TMsg::CliDateFieldUnreadable, {std::string(flag), field})};
    if (mustHaveFields && !database::HasDateFields(last))
        throw EUsageError{rtl::Format(rtl::TMsg::CliNeedsDateFields, {std::string(flag)})};
}

} // namespace

int CountOf(const std::string& text, std::string_view flag) {
    int value = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    // Keeping no backup at all would leave the one just made as the only one, and count on it.
    if (error != std::errc() || end != text.data() + text.size() || value < 1)
        throw EUsageError{rtl::Format(rtl::TMsg::CliNeedsCount, {std::string(flag), text})};
    return value;
}

void CheckDatedBackupOptions(TCliOptions& o) {
    if (o.command != "backup") return;
    const bool zip = !o.toZip.empty();
    // "/zalohy/Orvan-%F/" names the directory "Orvan-%F".
    while (!zip && o.toDir.size() > 1 && o.toDir.back() == '/') o.toDir.pop_back();
    const std::string& target = zip ? o.toZip : o.toDir;
    const std::string flag = zip ? "--to-zip" : "--to-dir";
    if (database::HasDateFields(target) || o.keep >= 0) CheckDatedName(target, o.keep >= 0 ? "--keep" : flag, o.keep >= 0);
    // Nothing is deleted for a backup that was not read back whole.
    if (o.keep >= 0 && zip) o.verify = true;
}

void CheckBackupsOptions(const TCliOptions& o) {
    if (o.in.empty()) throw EUsageError{rtl::Text(rtl::TMsg::CliBackupsNeedsIn)};
    if (!o.pattern.empty()) {
        if (rtl::ExtractFileName(o.pattern) != o.pattern)
            throw EUsageError{rtl::Text(rtl::TMsg::CliPatternWithoutDirectory)};
        CheckDatedName(o.pattern, "--pattern", true);
    }
}

} // namespace cli
