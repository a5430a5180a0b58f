#pragma once

// Every absolute path of the card, composed in card_paths.cpp from the
// build-time card root (empty on the card itself). Sandboxed builds for tests
// and the demo point the root elsewhere; nothing is configurable at run time.
namespace card_paths {

extern const char* const kControlMenu;       // /brix/etc/control_menu.xml
extern const char* const kParamDescriptors;  // /brix/etc/param.xml
extern const char* const kRefreshScript;     // /brix/etc/refreshparams.sh
extern const char* const kErrorLog;          // /tmp/wwwError.txt
extern const char* const kProgressFile;      // /tmp/progress
extern const char* const kPpcProgressFile;   // /tmp/ppcprogress
// Where an ended update's progress file is kept once it has been reported.
extern const char* const kEndedProgressFile;     // /tmp/progress.ended
extern const char* const kEndedPpcProgressFile;  // /tmp/ppcprogress.ended
extern const char* const kRebootCommand;         // /sbin/reboot
extern const char* const kSystemLog;             // /dev/log (the syslog socket)
// A change of the card's address awaiting its confirmation (see update/pending_change.hpp).
extern const char* const kPendingChange;  // /tmp/netconfirm

// The descriptor files as they lie below a card's root folder: what the paths
// above name on the card itself, without this build's card root. For the
// checker, which is given a card image's folder at run time.
extern const char* const kControlMenuOnCard;       // /brix/etc/control_menu.xml
extern const char* const kParamDescriptorsOnCard;  // /brix/etc/param.xml

// The user that owns the updater's progress files (root on the card).
extern const unsigned kUpdaterUserId;
// How long a change program or the refresh script may run (0: no bound).
extern const unsigned kChildTimeoutSeconds;

// Never prefixed: the null device. (Nor are the page fragments of
// response/page_framing.hpp, which lie relative to the working directory the
// web server gives the program.)
inline constexpr const char* kDevNull = "/dev/null";

}  // namespace card_paths
