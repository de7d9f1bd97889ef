// libzip's reasons as the archiver's messages carry them: Slovak for the window, with the
// operating system's reason, and libzip's own text for English readers and unknown codes.
#include "platform/rtl/Messages.h"
#include "platform/zip/ZipReason.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

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
    EXPECT_EQ(azip::ZipReason(&tempFile.error), zip_error_strerror(&tempFile.error));
    rtl::SetLanguage(rtl::TLanguage::Slovak);
    EXPECT_EQ(azip::ZipReason(&tempFile.error), "Dočasný súbor sa nepodarilo vytvoriť: Na zariadení nie je voľné miesto");
    EXPECT_EQ(azip::ZipReason(&notZip.error), "Súbor nie je archív zip");
    EXPECT_EQ(azip::ZipReason(&other.error), zip_error_strerror(&other.error));
    rtl::SetLanguage(rtl::TLanguage::English);
}

} // namespace
