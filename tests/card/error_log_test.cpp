// The error log's opening: as the request's user, never through a link, its mode only when created.
#include "card/error_log.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "e2e/harness/sandbox.hpp"

namespace {
namespace fs = std::filesystem;

// What another process may leave at the log's name: a file (of the request's user 1006, or one of
// root's that 1006 may not write, as a racing linker leaves it once it has removed its second
// name), a second name or a symbolic link for a file of 1006's (a FIFO reads as no file: the card
// files' table). Only a plain file that 1006 may write is appended to; only a log the open created
// is given mode 0777.
TEST(ErrorLog, IsOpenedAsTheRequestsUserAndOnlyACreatedOneGetsItsMode) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root: only root opens as another user";
  const struct {
    std::string kind;
    uid_t owner;
    unsigned mode;
    bool used;
  } cases[] = {
      {"none", 0, 0777, true},
      {"file", 1006, 0640, true},
      {"file", 0, 0600, false},
      {"hard link", 1006, 0666, false},
      {"symbolic link", 1006, 0666, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind + " " + std::to_string(c.owner));
    testing_support::Sandbox sandbox;
    const fs::path log = sandbox.ErrorLog(),
                   target = c.kind.ends_with("link") ? sandbox.Root() / "t" : log;
    if (c.kind != "none") sandbox.WriteFile(target, "earlier\n", c.mode);
    ASSERT_EQ(::chown(target.c_str(), c.owner, 0) == 0, c.kind != "none");
    if (c.kind == "hard link") fs::create_hard_link(target, log);
    if (c.kind == "symbolic link") fs::create_symlink(target, log);
    const fs::path previous = fs::current_path();
    fs::current_path(sandbox.WorkDir());
    OpenErrorLog();
    WriteErrorLog("message\n");
    CloseErrorLog();
    fs::current_path(previous);
    EXPECT_EQ(::geteuid(), 0U);
    EXPECT_EQ(sandbox.ReadFile(target),
              std::string(c.kind == "none" ? "" : "earlier\n") + (c.used ? "message\n" : ""));
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(c.mode));
  }
}

}  // namespace
