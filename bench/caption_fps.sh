# Sourced by the load scripts: fps_now prints the frames per second that the saver's caption
# (its main window's title) shows on $DISPLAY, or nothing while there is no caption.
fps_now() {
  local id
  for id in $(xdotool search --class Tundrel 2>/dev/null); do
    xprop -id "$id" _NET_WM_NAME 2>/dev/null | sed -n 's/.*"FPS: \([0-9.,]*\) .*/\1/p' | tr , .
  done | head -n1
}
