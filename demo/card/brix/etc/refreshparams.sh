#!/bin/sh -p
# Run detached by the card's CGI program after a set request was applied. On
# a card it would re-read every parameter into the running services. The
# sample card rebuilds the landing page's form from the values in force
# (merovane-form, installed in the card's usr/bin), so that the next Apply
# starts from them, and notes when it ran in var/log/refresh.log.
PATH=/usr/bin:/bin
export PATH
card=$(CDPATH= cd -- "$(dirname -- "$0")/../.." && pwd) || exit 1
# The sample's web root lies beside the card's root folder.
www=$card/../www
page=$www/includes/staticPage.html
form=$card/usr/bin/merovane-form
# Written beside the page and renamed over it: a request reads the old page
# or the new one, never half of one; a failed run leaves the old one.
if [ -x "$form" ] && {
  cat <<'HTML'
<div class="headerBox"><h2>Card control</h2></div>
<div class="links">
<a href="/cgi-bin/Merovane/cardcontrol">Card control</a>
<a href="/cgi-bin/Merovane/uploadstatus">Update status</a>
<a href="/cgi-bin/Merovane/uploadstatus?ppcupload">Controller update status</a>
</div>
<p class="note">The form holds the card's settings in force: the card rebuilds this page after
every Apply. Apply sends every value; the card checks them all and changes nothing when one is
rejected, showing the values in force instead.</p>
HTML
  "$form" --root "$card" --cgi-dir "$www/cgi-bin"
} > "$page.new"; then
  mv -f "$page.new" "$page"
else
  rm -f "$page.new"
fi
printf '%s refresh\n' "$(date '+%F %T.%N')" >> "$card/var/log/refresh.log"
