// The explanations of the library's result codes, and the detail of the most recent
// failure, so that a message names what failed ("disk full while writing ...").
#include "platform/tutil/TableUtility.h"
#include "platform/tutil/UtilityFailure.h"
#include "platform/rtl/Messages.h"

#include <cstring>
#include <string>

namespace tutil {

namespace {

struct TLastFailure {
    TUResult Code = TUERR_NONE;
    std::string Detail;
};

TLastFailure& Last() {
    static TLastFailure last;
    return last;
}

rtl::TMsg BaseText(TUResult code) {
    switch (code) {
    case TUERR_NONE: return rtl::TMsg::UtilityNoError;
    case TUERR_INVALIDHANDLE: return rtl::TMsg::UtilityInvalidHandle;
    case TUERR_BUSY: return rtl::TMsg::UtilityBusy;
    case TUERR_INVALIDPARAM: return rtl::TMsg::UtilityInvalidParam;
    case TUERR_NOSUCHTABLE: return rtl::TMsg::UtilityNoSuchTable;
    case TUERR_NOTATABLE: return rtl::TMsg::UtilityNotATable;
    case TUERR_UNKNOWNTBLTYPE: return rtl::TMsg::UtilityUnknownTableType;
    case TUERR_ENCRYPTED: return rtl::TMsg::UtilityEncrypted;
    case TUERR_LOCKED: return rtl::TMsg::UtilityLocked;
    case TUERR_DESCMISMATCH: return rtl::TMsg::UtilityDescMismatch;
    case TUERR_COMPANIONDIR: return rtl::TMsg::UtilityCompanionDir;
    case TUERR_BACKUP: return rtl::TMsg::UtilityBackup;
    case TUERR_READ: return rtl::TMsg::UtilityRead;
    case TUERR_WRITE: return rtl::TMsg::UtilityWrite;
    case TUERR_SWAP: return rtl::TMsg::UtilitySwap;
    case TUERR_ABORTED: return rtl::TMsg::UtilityAborted;
    case TUERR_INTERNAL: return rtl::TMsg::UtilityInternal;
    case TUERR_ROWSSHORT: return rtl::TMsg::UtilityRowsShort;
    case TUERR_STRUCTUREMISFIT: return rtl::TMsg::UtilityStructureMisfit;
    default: return rtl::TMsg::UtilityUnknownCode;
    }
}

// The longest prefix of `text` of at most `limit` bytes that does not cut a UTF-8 character.
std::size_t CharacterBoundary(const std::string& text, std::size_t limit) {
    if (limit >= text.size()) return text.size();
    std::size_t n = limit;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return n;
}

} // namespace

void RememberFailure(TUResult code, const std::string& detail) { Last() = TLastFailure{code, detail}; }

std::size_t TUGetErrorString(TUResult code, char* buffer, std::size_t size) {
    std::string text = rtl::Format(BaseText(code), {std::to_string(code)});
    if (code != TUERR_NONE && Last().Code == code && !Last().Detail.empty()) {
        if (text.back() == '.') text.pop_back();
        text += " (" + Last().Detail + ").";
    }
    if (buffer && size > 0) {
        const std::size_t n = CharacterBoundary(text, size - 1);
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
    }
    return text.size();
}

} // namespace tutil
