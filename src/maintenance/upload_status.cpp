#include <cstdlib>
#include <string>
#include <string_view>

#include "maintenance/handlers.hpp"
#include "maintenance/progress_file.hpp"
#include "maintenance/reboot_route.hpp"
#include "maintenance/upload_tables.hpp"
#include "response/page_framing.hpp"
#include "response/response_output.hpp"

namespace {

constexpr const char* kDoneBar =
    "<div class=\"progressbar\"><img src=\"/pics/progressbar-done.gif\"/></div>";

void WriteMessage(const char* message) {
  response::Printf("<div class=\"progressbar-message\">%s</div>", message);
}

void WriteError(const std::string& message) {
  response::Write(kDoneBar);
  response::Printf(
      "<div class=\"progressbar-message\">Error:&nbsp;&nbsp;<span "
      "class=\"errorText\">%s</span></div>",
      message.c_str());
}

void WriteComplete() {
  response::Write(kDoneBar);
  WriteMessage("Upload Complete");
}

void WriteRebootForm() {
  response::Write("<form action=\"");
  response::Write(RebootUrl(kProgramPath));
  response::Write("\" method=\"post\"><center>\n");
  response::Write(
      "<div style=\"width: 400px; text-align: center;\">You will need to reboot the frame for the "
      "changes "
      "to take effect.<br/><br/>\n");
  response::Write(
      "<input style=\"width: 100%;\" type=\"submit\" name=\"submitbutton\" value=\"Reboot\"/></div>"
      "</center>\n");
  response::Write("</form>\n");
}

}  // namespace

int HandleUploadStatus() {
  MenuPageHead();

  // The page keeps its query string when it reloads itself, so the kind of
  // update is told by a mere mention of it there.
  const char* query = std::getenv("QUERY_STRING");
  const LoadType load_type =
      query != nullptr && std::string_view(query).find(kPpcUploadName) != std::string_view::npos
          ? LoadType::kPpcUpload
          : LoadType::kDefault;
  const ProgressPaths paths = ProgressFilePaths(load_type);
  const ProgressReading progress = ReadProgressFile(paths);
  switch (progress.state) {
    case ProgressState::kMissing:
      WriteComplete();
      break;
    case ProgressState::kUnreadable:
      WriteError("Unable to read progress file");
      break;
    case ProgressState::kFailed:
      WriteError(UploadErrorMessage(load_type, progress.error_number));
      SetAsideProgressFile(paths, progress);
      break;
    case ProgressState::kCompleted:
      WriteComplete();
      WriteRebootForm();
      SetAsideProgressFile(paths, progress);
      break;
    case ProgressState::kRunning:
      response::Write("<meta http-equiv=\"refresh\" content=\"2\"/>");
      response::Write("<div class=\"progressbar\"><img src=\"/pics/progressbar.gif\"/></div>");
      WriteMessage("Update in progress");
      break;
  }

  IncludeFile(kPageFooterInclude);
  return 0;
}
