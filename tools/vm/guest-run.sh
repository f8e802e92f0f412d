# A run (sourced by the guest's init, tools/vm/guest/init): copies the
# job's folder to the guest's own disk at GUEST_DIR, starts the virtual display
# and Wine, then runs the job's command there.
start_display 0 "${DEPTH:-24}" || fail "Xvfb did not start"
export DISPLAY=:0

mkdir -p "$GUEST_DIR" || fail "cannot make $GUEST_DIR"
# Programs run from the guest's disk: a program mapped straight from the share
# can miss the tail of a large section.
cp -a /job/in/. "$GUEST_DIR"/ || fail "cannot copy the folder to $GUEST_DIR"
(cd /job/in && find . -type f -printf '%s %p\n' | sort) >/tmp/in.sizes
(cd /job/in && find . -type f -print0) | (cd "$GUEST_DIR" && xargs -0 -r stat -c '%s %n') | sort >/tmp/copy.sizes
cmp -s /tmp/in.sizes /tmp/copy.sizes || fail "the copy in $GUEST_DIR differs from the share"

# One wineserver for the whole run; the first Wine program of a boot is slow,
# so Wine's services start before the command does.
"$WINESERVER" -p || fail "wineserver did not start"
wine cmd /c exit </dev/null >/tmp/wine-start.log 2>&1 || { cat /tmp/wine-start.log >&2; fail "Wine did not start"; }

mkdir -p "$FERROTUNE_VM_RESULTS"
touch /job/out/started
(cd "$GUEST_DIR" && exec bash /job/command) </dev/null >/job/out/output 2>&1
echo $? >/job/out/status
"$WINESERVER" -k 2>/dev/null
