#pragma once

#include <string>
#include <string_view>

#include "maintenance/progress_file.hpp"

// The two kinds of software update the card reports on. Each has its own
// progress file, written by the updater, and its own table of error messages
// indexed by the error number the updater records.
enum class LoadType { kPpcUpload, kDefault };

// The value that selects the ppcupload kind; anything else is the default.
inline constexpr std::string_view kPpcUploadName = "ppcupload";

ProgressPaths ProgressFilePaths(LoadType load_type);

// The message for a non-zero error number. A number past the end of the
// kind's table is still an error, named by its number ("Unknown error 17").
std::string UploadErrorMessage(LoadType load_type, unsigned error_number);
