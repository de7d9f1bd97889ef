#include "platform/zip/ZipReason.h"

#include "platform/rtl/Messages.h"

namespace azip {

namespace {

bool OwnText(int code, rtl::TMsg& id) {
    switch (code) {
    case ZIP_ER_OPEN: id = rtl::TMsg::ZipOpenFailed; return true;
    case ZIP_ER_READ: id = rtl::TMsg::ZipReadError; return true;
    case ZIP_ER_WRITE: id = rtl::TMsg::ZipWriteError; return true;
    case ZIP_ER_SEEK: id = rtl::TMsg::ZipSeekError; return true;
    case ZIP_ER_CRC: id = rtl::TMsg::ZipCrcError; return true;
    case ZIP_ER_CLOSE: id = rtl::TMsg::ZipCloseFailed; return true;
    case ZIP_ER_TMPOPEN: id = rtl::TMsg::ZipTempFileFailed; return true;
    case ZIP_ER_RENAME: id = rtl::TMsg::ZipRenameFailed; return true;
    case ZIP_ER_NOZIP: id = rtl::TMsg::ZipNotAZip; return true;
    case ZIP_ER_INCONS: id = rtl::TMsg::ZipInconsistent; return true;
    case ZIP_ER_NOENT: id = rtl::TMsg::ZipNoSuchFile; return true;
    case ZIP_ER_EXISTS: id = rtl::TMsg::ZipFileExists; return true;
    case ZIP_ER_COMPNOTSUPP: id = rtl::TMsg::ZipCompressionUnsupported; return true;
    case ZIP_ER_ENCRNOTSUPP: id = rtl::TMsg::ZipEncryptionUnsupported; return true;
    case ZIP_ER_EOF: id = rtl::TMsg::ZipPrematureEnd; return true;
    case ZIP_ER_COMPRESSED_DATA: id = rtl::TMsg::ZipCompressedDataInvalid; return true;
    case ZIP_ER_REMOVE: id = rtl::TMsg::ZipCannotRemove; return true;
    case ZIP_ER_MEMORY: id = rtl::TMsg::ZipOutOfMemory; return true;
    case ZIP_ER_CANCELLED: id = rtl::TMsg::ZipCancelled; return true;
    case ZIP_ER_ZLIB: id = rtl::TMsg::ZipZlib; return true;
    default: return false;
    }
}

} // namespace

std::string ZipReason(zip_error_t* error) {
    rtl::TMsg id{};
    if (rtl::Language() == rtl::TLanguage::English || !OwnText(zip_error_code_zip(error), id))
        return zip_error_strerror(error);
    std::string text = rtl::Text(id);
    const int system = zip_error_code_system(error);
    if (zip_error_system_type(error) == ZIP_ET_SYS && system != 0) text += ": " + rtl::SystemReason(system);
    return text;
}

std::string ZipReason(zip_t* archive) { return ZipReason(zip_get_error(archive)); }

std::string ZipReason(zip_file_t* file) { return ZipReason(zip_file_get_error(file)); }

} // namespace azip
