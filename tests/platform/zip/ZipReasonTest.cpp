// libzip's reasons as the archiver's messages carry them: Slovak for the window, with the
// operating system's reason, and libzip's own text for English readers and unknown codes.
#include "platform/rtl/Messages.h"
#include "platform/zip/ZipReason.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace {

// libzip frees the text of an earlier zip_error_strerror at the next call: keep a copy.
std::string LibzipText(zip_error_t* error) { return zip_error_strerror(error); }

struct ZipError {
    ZipError(int zipCode, int systemCode) {
        zip_error_init(&error);
        zip_error_set(&error, zipCode, systemCode);
    }
    ~ZipError() { zip_error_fini(&error); }
    zip_error_t error;
};

TEST(ZipReason, SlovakWithTheSystemsReasonOrLibzipsOwnText) {
    ZipError tempFile(ZIP_ER_TMPOPEN, ENOSPC), notZip(ZIP_ER_NOZIP, 0), other(ZIP_ER_INUSE, 0);
    const std::string tempFileText = LibzipText(&tempFile.error);
    EXPECT_EQ(azip::ZipReason(&tempFile.error), tempFileText);
    rtl::SetLanguage(rtl::TLanguage::Slovak);
    EXPECT_EQ(azip::ZipReason(&tempFile.error), "Dočasný súbor sa nepodarilo vytvoriť: Na zariadení nie je voľné miesto");
    EXPECT_EQ(azip::ZipReason(&notZip.error), "Súbor nie je archív zip");
    const std::string otherText = LibzipText(&other.error);
    EXPECT_EQ(azip::ZipReason(&other.error), otherText);
    rtl::SetLanguage(rtl::TLanguage::English);
}

} // namespace
