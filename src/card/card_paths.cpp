#include "card/card_paths.hpp"

// Built only through merovane_card_root, which names all three: a build
// without them would quietly reach the real card's paths.
#if !defined(MEROVANE_CARD_ROOT) || !defined(MEROVANE_UPDATER_UID) || \
    !defined(MEROVANE_CHILD_TIMEOUT_S)
#error "card_paths.cpp is built by merovane_card_root, with a card root, an updater and a bound"
#endif

namespace card_paths {

#define MEROVANE_CONFIG_DIR "/brix/etc"

const char* const kControlMenu = MEROVANE_CARD_ROOT MEROVANE_CONFIG_DIR "/control_menu.xml";
const char* const kParamDescriptors = MEROVANE_CARD_ROOT MEROVANE_CONFIG_DIR "/param.xml";
const char* const kRefreshScript = MEROVANE_CARD_ROOT MEROVANE_CONFIG_DIR "/refreshparams.sh";
const char* const kControlMenuOnCard = MEROVANE_CONFIG_DIR "/control_menu.xml";
const char* const kParamDescriptorsOnCard = MEROVANE_CONFIG_DIR "/param.xml";
const char* const kErrorLog = MEROVANE_CARD_ROOT "/tmp/wwwError.txt";
const char* const kProgressFile = MEROVANE_CARD_ROOT "/tmp/progress";
const char* const kPpcProgressFile = MEROVANE_CARD_ROOT "/tmp/ppcprogress";
const char* const kEndedProgressFile = MEROVANE_CARD_ROOT "/tmp/progress.ended";
const char* const kEndedPpcProgressFile = MEROVANE_CARD_ROOT "/tmp/ppcprogress.ended";
const char* const kRebootCommand = MEROVANE_CARD_ROOT "/sbin/reboot";
const char* const kSystemLog = MEROVANE_CARD_ROOT "/dev/log";
const char* const kPendingChange = MEROVANE_CARD_ROOT "/tmp/netconfirm";

const unsigned kUpdaterUserId = MEROVANE_UPDATER_UID;
const unsigned kChildTimeoutSeconds = MEROVANE_CHILD_TIMEOUT_S;

}  // namespace card_paths
