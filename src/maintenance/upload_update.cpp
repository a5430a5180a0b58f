#include <cstdlib>
#include <cstring>

#include "card/error_log.hpp"
#include "maintenance/feed_request.hpp"
#include "maintenance/handlers.hpp"
#include "maintenance/progress_file.hpp"
#include "maintenance/reboot_route.hpp"
#include "maintenance/upload_tables.hpp"
#include "response/response_output.hpp"

namespace {

// Every record starts with the status character, and each field after it is
// preceded by the separator.
constexpr char kStatus = '0';
constexpr const char* kSeparator = "</>";
// The answer when the state of the update cannot be told.
constexpr const char* kStateUnknown = "5";

void WriteCompletedRecord(LoadType load_type, bool with_reboot_form) {
  if (load_type == LoadType::kPpcUpload && with_reboot_form) {
    response::Printf(
        "%c%sstop=1%smsg=Upload complete.<br>You should reboot the controller for the change to "
        "take "
        "effect.<br>%spercentage=100\r\n",
        kStatus, kSeparator, kSeparator, kSeparator);
    const char* script = std::getenv("SCRIPT_NAME");
    response::Printf(
        "<form action=\"%s\" method=\"GET\"><input type=\"submit\" value=\"Reboot\"></form>\r\n",
        RebootUrl(script != nullptr ? script : "").c_str());
    return;
  }
  response::Printf("%c%sstop=1%smsg=Upload complete%spercentage=100\r\n", kStatus, kSeparator,
                   kSeparator, kSeparator);
}

}  // namespace

int HandleUploadUpdate() {
  const char* method = std::getenv("REQUEST_METHOD");
  if (method == nullptr || std::strcmp(method, "POST") != 0) {
    return 0;
  }
  const std::string body = ReadFeedBody(FeedBodyLength(std::getenv("CONTENT_LENGTH")));
  response::Write("Content-type: text/plain\r\n\r\n");
  const std::optional<LoadType> load_type = FeedLoadType(body);
  if (!load_type) {
    response::Write(kStateUnknown);
    return 0;
  }
  const ProgressPaths paths = ProgressFilePaths(*load_type);
  const ProgressReading progress = ReadProgressFile(paths);
  switch (progress.state) {
    case ProgressState::kMissing:
      // No update since the card started (or none believed): only the plain
      // completion text, no reboot form, nothing to set aside.
      WriteCompletedRecord(*load_type, false);
      break;
    case ProgressState::kUnreadable:
      response::Write(kStateUnknown);
      break;
    case ProgressState::kFailed:
      response::Printf("%c%sstop=1%smsg=%s%spercentage=%d\r\n", kStatus, kSeparator, kSeparator,
                       UploadErrorMessage(*load_type, progress.error_number).c_str(), kSeparator,
                       progress.percentage);
      SetAsideProgressFile(paths, progress);
      break;
    case ProgressState::kCompleted:
      WriteCompletedRecord(*load_type, true);
      // A newer file in its place is no failure: it is the next to report.
      if (const ProgressSetAside move = SetAsideProgressFile(paths, progress);
          move.outcome == ProgressSetAside::kFailed) {
        WriteErrorLog("unable to unlink %s uid=%d euid=%d\r\n", paths.current,
                      static_cast<int>(move.uid), static_cast<int>(move.euid));
      }
      break;
    case ProgressState::kRunning:
      response::Printf("%c%sstop=0%spercentage=%d\r\n", kStatus, kSeparator, kSeparator,
                       progress.percentage);
      break;
  }
  return 0;
}
