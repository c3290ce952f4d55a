// The densities of the Windows saver's views and its settings dialog's layout.
#include "dpi_rules.h"

namespace {

int Scale(int pixels, int dpi) {
  return (pixels * dpi + DesignPixelsPerInch / 2) / DesignPixelsPerInch;
}

TScreenRect Scale(const TScreenRect& design, int dpi) {
  return TScreenRect{Scale(design.Left, dpi), Scale(design.Top, dpi), Scale(design.Width, dpi),
                     Scale(design.Height, dpi)};
}

}  // namespace

int Win32ViewPixelsPerInch(const TWin32Dpi& dpi) {
  if (dpi.PerMonitorAware && dpi.Monitor > 0) return dpi.Monitor;
  if (dpi.Window > 0) return dpi.Window;
  return dpi.System > 0 ? dpi.System : DesignPixelsPerInch;
}

TSettingsDialogLayout SettingsDialogLayout(int dpi) {
  if (dpi <= 0) dpi = DesignPixelsPerInch;
  TSettingsDialogLayout layout;
  layout.ClientWidth = Scale(DialogClientWidth, dpi);
  layout.ClientHeight = Scale(DialogClientHeight, dpi);
  for (int i = 0; i < 4; ++i) layout.Controls[i] = Scale(DialogControls[i], dpi);
  layout.WallpaperBox = Scale(DialogWallpaperBox, dpi);
  return layout;
}
