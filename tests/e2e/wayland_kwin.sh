#!/usr/bin/env bash
# The native Wayland run under KDE's KWin, which offers fractional scales: /s on two virtual
# outputs of 1280x720 at scales 1, 1.5 and 2, each with a compositor and a session bus of its
# own. Where the compositor prefers 1.5 or 2 for a surface, the saver draws buffers of that many
# of the output's pixels (1920x1080, 2560x1440) with a viewport of the logical 1280x720 and
# buffer scale 1 (the protocol log says so), and its clock takes the share of the output's height
# it has at scale 1, as KWin's own screenshots in the output's pixels show. It needs Debian's
# kwin-wayland, dbus and python3-dbus; ctest runs it where kwin_wayland is installed.
# Usage: wayland_kwin.sh <tundrel>
set -u
source "$(dirname "$0")/tally.sh"
# Debian's python3, which has the D-Bus module, before any other.
export PATH="/usr/bin:/bin:$PATH"
for tool in kwin_wayland dbus-run-session python3; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed"; echo "0 passed, 1 failed"; exit 1; }
done
python3 -c 'import dbus' 2>/dev/null ||
  { echo "FAIL: python3-dbus is not installed"; echo "0 passed, 1 failed"; exit 1; }
[ -x "${1:-}" ] || { echo "usage: $0 <tundrel>" >&2; exit 2; }

work="$(mktemp -d "${TMPDIR:-/tmp}/tundrel-kwin-XXXXXX")"
mkdir -m 700 "$work/runtime" "$work/home"
# KWin's binary carries a file capability that a container may refuse to grant; a copy has none.
install -m 755 "$(command -v kwin_wayland)" "$work/kwin_wayland"
install -m 755 "$1" "$work/tundrel"
unset DISPLAY WAYLAND_DISPLAY
export XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home" XDG_CONFIG_HOME="$work/home"
started=()

cleanup() {
  local p
  for p in "${started[@]}"; do kill -9 "$p" 2>/dev/null; done
  for p in "${started[@]}"; do wait "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

# start_kwin <scale>: a compositor with two outputs at that scale on the socket kwin-<scale>, in
# a session bus of its own; sets kwin_pid (KWin's own), session_pid (the bus's), bus and display.
start_kwin() {
  display="kwin-$1" bus=""
  rm -f "$work/bus" "$work/kwin.pid"
  dbus-run-session -- sh -c 'echo "$DBUS_SESSION_BUS_ADDRESS" >"$0/bus"; echo $$ >"$0/kwin.pid"
    KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 exec "$0/kwin_wayland" --virtual --output-count 2 \
      --width 1280 --height 720 --scale "$1" --socket "$2"' "$work" "$1" "$display" \
    >>"$work/kwin.log" 2>&1 &
  session_pid=$!
  started+=("$session_pid")
  local until=$((SECONDS + 60))
  while [ "$SECONDS" -lt "$until" ]; do
    if [ -s "$work/kwin.pid" ] && [ -s "$work/bus" ] && [ -S "$work/runtime/$display" ] &&
      screenshot Virtual-1 >/dev/null 2>&1; then
      kwin_pid=$(cat "$work/kwin.pid")
      started+=("$kwin_pid")
      bus=$(cat "$work/bus")
      return 0
    fi
    sleep 0.1
  done
  echo "FAIL: KWin did not start at scale $1"; tail -n 20 "$work/kwin.log"
  echo "$pass passed, $((fails + 1)) failed"
  exit 1
}

# screenshot <output>: KWin's screenshot of the output in its own pixels, as "lit yellow rows
# height": the pixels that are not black, those of the clock's yellow in the top quarter of the
# output's left half, the rows from the first to the last that hold it, and the output's height.
screenshot() {
  DBUS_SESSION_BUS_ADDRESS="${bus:-$(cat "$work/bus")}" python3 -c '
import dbus, os, sys, threading
shots = dbus.Interface(dbus.SessionBus().get_object("org.kde.KWin", "/org/kde/KWin/ScreenShot2"),
                       "org.kde.KWin.ScreenShot2")
read_end, write_end = os.pipe()
image = []
reader = threading.Thread(target=lambda: image.append(os.fdopen(read_end, "rb").read()),
                          daemon=True)
reader.start()
answer = shots.CaptureScreen(sys.argv[1], {"native-resolution": True},
                             dbus.types.UnixFd(write_end), timeout=10)
os.close(write_end)
reader.join(10)
if not image:
    sys.exit("no image came")
data = image[0]
w, h, stride = int(answer["width"]), int(answer["height"]), int(answer["stride"])
lit = yellow = 0
rows = []
for y in range(h):
    line = data[y * stride:y * stride + w * 4]  # B, G, R, A
    if y % 4 == 0:
        lit += 16 * sum(1 for i in range(0, w * 4, 16) if max(line[i:i + 3]) > 24)
    if y < h // 4:
        n = sum(1 for i in range(0, w * 2, 4)
                if line[i + 2] >= 200 and line[i + 1] >= 200 and line[i] <= 60)
        yellow += n
        if n >= 2:
            rows.append(y)
print(lit, yellow, rows[-1] - rows[0] + 1 if rows else 0, h)' "$1"
}

# buffers <log> <width> <height>: whether the protocol log has EGL buffers of that size made
# (shared memory or dmabuf).
buffers() { grep -Eq "(create_buffer|create_immed)\(.*, $2, $3, " "$1"; }

# One run of /s at each scale; the clock's rows over the output's height at scale 1 are the share
# the others are held to, within a tenth.
declare -A rows_at_1
for scale in 1 1.5 2; do
  start_kwin "$scale"
  read -r width height < <(awk -v s="$scale" 'BEGIN {printf "%d %d\n", 1280 * s + 0.5, 720 * s + 0.5}')
  log="$work/saver-$scale.log"
  env WAYLAND_DISPLAY="$display" WAYLAND_DEBUG=client LIBGL_ALWAYS_SOFTWARE=1 LANG=C.UTF-8 \
    "$work/tundrel" /s 2>"$log" &
  saver_pid=$!
  started+=("$saver_pid")
  for output in Virtual-0 Virtual-1; do
    reading="0 0 0 0"
    until=$((SECONDS + 60))
    while [ "$SECONDS" -lt "$until" ]; do
      reading=$(screenshot "$output")
      read -r lit yellow rows h <<<"$reading"
      [ "$lit" -gt 1000 ] && [ "$yellow" -gt 30 ] && buffers "$log" "$width" "$height" && break
      sleep 0.3
    done
    read -r lit yellow rows h <<<"$reading"
    check "scale $scale: $output shows a view with its clock ($reading)" \
      test "$lit" -gt 1000 -a "$yellow" -gt 30 -a "$h" = "$height"
    if [ "$scale" = 1 ]; then
      rows_at_1[$output]=$rows
      continue
    fi
    base=${rows_at_1[$output]}
    # rows / height within a tenth of base / 720.
    check "scale $scale: $output's clock has the share of the height it has at 1 ($base of 720 -> $rows of $h)" \
      awk -v r="$rows" -v h="$h" -v b="$base" 'BEGIN {q = (r / h) / (b / 720); exit !(b > 0 && q >= 0.9 && q <= 1.1)}'
  done
  if [ "$scale" = 1 ]; then
    check "scale 1: buffers of 1280x720" buffers "$log" 1280 720
  else
    check "scale $scale: a fractional scale and a viewport for each output's surface" \
      test "$(grep -c 'get_fractional_scale(' "$log")" = 2 -a "$(grep -c 'get_viewport(' "$log")" = 2
    check "scale $scale: KWin prefers $scale" grep -q "preferred_scale($(awk -v s="$scale" 'BEGIN {print s * 120}'))" "$log"
    check "scale $scale: buffers of ${width}x${height}" buffers "$log" "$width" "$height"
    check "scale $scale: viewports of 1280x720" grep -q 'set_destination(1280, 720)' "$log"
    check "scale $scale: buffer scale 1" bash -c "! grep -q 'set_buffer_scale(' '$log'"
  fi
  kill "$saver_pid"
  wait "$saver_pid" 2>/dev/null
  check "scale $scale: nothing but the protocol log was written on stderr" \
    test -z "$(grep -v '^\[' "$log")"
  kill "$kwin_pid"
  wait "$session_pid" 2>/dev/null
done

echo "$pass passed, $fails failed"
[ "$fails" -eq 0 ]
