// The settings dialog's handlers: load into the boxes, copy the boxes into Settings, save on OK.
#include "fConfig_dialog.h"

#include <exception>
#include <utility>

#include "fConfig.h"

TfrmConfig::TfrmConfig(TConfigView& view, std::string applicationTitle)
    : View(view), ApplicationTitle(std::move(applicationTitle)) {}

void TfrmConfig::SetCheckBox(TConfigCheckBox box, bool checked) {
  if (View.IsChecked(box) == checked) return;
  View.SetChecked(box, checked);
  if (box == TConfigCheckBox::cbShowTime) {
    cbShowTimeClick();
  } else {
    cbShowTrailsClick();
  }
}

void TfrmConfig::FormCreate() {
  LoadSettings(Settings);
  // Each click handler writes back the value just read, so Settings ends as loaded.
  SetCheckBox(TConfigCheckBox::cbShowTime, Settings.ShowTime);
  SetCheckBox(TConfigCheckBox::cbShowTrails, Settings.ShowTrail);
}

void TfrmConfig::cbShowTimeClick() {
  Settings.ShowTime = View.IsChecked(TConfigCheckBox::cbShowTime);
}

void TfrmConfig::cbShowTrailsClick() {
  Settings.ShowTrail = View.IsChecked(TConfigCheckBox::cbShowTrails);
}

void TfrmConfig::OKClick() {
  try {
    SaveSettings(Settings);
  } catch (const std::exception& error) {
    // Any failure, not only a refused write, is shown the same way: it must never reach the
    // window system's callbacks, and the user must not lose the dialog and its choices.
    View.ShowError(ApplicationTitle, error.what());
    return;
  }
  View.Close();
}

void TfrmConfig::CancelClick() {
  View.Close();
}
