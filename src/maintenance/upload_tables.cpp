#include "maintenance/upload_tables.hpp"

#include <array>
#include <span>

#include "card/card_paths.hpp"

namespace {

// Indexed by the updater's error number; entry 0 is never shown.
constexpr std::array<std::string_view, 4> kPpcUploadErrors = {
    "No error",
    "Tar file does not exist",
    "Integrity check failed",
    "Invalid tar file",
};

constexpr std::array<std::string_view, 13> kDefaultUploadErrors = {
    "No error",
    "No response from device",
    "Upload refused",
    "File upload failed",
    "Verifying the code failed",
    "Rebooting the processor failed",
    "File upload incomplete. Try loading again",
    "Cannot open file",
    "Unable to read file header",
    "CRC error in header",
    "Incorrect data length in header",
    "Error data CRC in header",
    "Header with no product name",
};

}  // namespace

ProgressPaths ProgressFilePaths(LoadType load_type) {
  if (load_type == LoadType::kPpcUpload) {
    return {card_paths::kPpcProgressFile, card_paths::kEndedPpcProgressFile};
  }
  return {card_paths::kProgressFile, card_paths::kEndedProgressFile};
}

std::string UploadErrorMessage(LoadType load_type, unsigned error_number) {
  const std::span<const std::string_view> table =
      load_type == LoadType::kPpcUpload ? std::span<const std::string_view>(kPpcUploadErrors)
                                        : std::span<const std::string_view>(kDefaultUploadErrors);
  if (error_number < table.size()) {
    return std::string(table[error_number]);
  }
  return "Unknown error " + std::to_string(error_number);
}
