// The process language for the length of a test, as a program sets it at start (the window
// Slovak); the language before is put back afterwards.
#pragma once

#include "platform/rtl/Messages.h"

namespace test {

class TScopedLanguage {
public:
    explicit TScopedLanguage(rtl::TLanguage language) : saved_(rtl::Language()) { rtl::SetLanguage(language); }
    ~TScopedLanguage() { rtl::SetLanguage(saved_); }
    TScopedLanguage(const TScopedLanguage&) = delete;
    TScopedLanguage& operator=(const TScopedLanguage&) = delete;

private:
    rtl::TLanguage saved_;
};

} // namespace test
