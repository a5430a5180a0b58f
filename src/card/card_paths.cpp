#include "card/card_paths.hpp"

#ifndef MEROVANE_CARD_ROOT
#define MEROVANE_CARD_ROOT ""
#endif
#ifndef MEROVANE_UPDATER_UID
#define MEROVANE_UPDATER_UID 0
#endif
#ifndef MEROVANE_CHILD_TIMEOUT_S
#define MEROVANE_CHILD_TIMEOUT_S 60
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

const unsigned kUpdaterUserId = MEROVANE_UPDATER_UID;
const unsigned kChildTimeoutSeconds = MEROVANE_CHILD_TIMEOUT_S;

}  // namespace card_paths
