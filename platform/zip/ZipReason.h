// libzip's reason for a failure, in the process language: its own text in English, ours in
// Slovak, followed by the operating system's reason when libzip names one.
#pragma once

#include <zip.h>

#include <string>

namespace azip {

std::string ZipReason(zip_error_t* error);
std::string ZipReason(zip_t* archive);
std::string ZipReason(zip_file_t* file);

} // namespace azip
