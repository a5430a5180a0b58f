#pragma once

// The maintenance routes. Each reads the CGI environment directly, writes its
// whole response and returns 0.

// "/uploadupdate": the plain-text progress feed polled by the update page.
int HandleUploadUpdate();
// "/uploadstatus": the self-reloading update status page.
int HandleUploadStatus();
// "/reboot": reboots the card when asked from the update status page.
int HandleReboot();
