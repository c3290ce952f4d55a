// The settings dialog frmConfig: two check boxes for the settings, OK to save them, Cancel to
// leave them. Portable: the window itself is a TConfigView that a platform backend provides.
#pragma once

#include <string>

// The dialog's two check boxes.
enum class TConfigCheckBox { cbShowTime, cbShowTrails };

// What the dialog's handlers need from its window. A backend reports a user's click on a
// check box by calling the matching click handler after the box has changed state.
class TConfigView {
 public:
  virtual ~TConfigView() = default;
  virtual bool IsChecked(TConfigCheckBox box) const = 0;
  // Changes the box's state without reporting a click.
  virtual void SetChecked(TConfigCheckBox box, bool checked) = 0;
  // Closes the dialog; as the application's main window this ends the program.
  virtual void Close() = 0;
  // A modal error message box with the error icon; returns once the user has dismissed it.
  virtual void ShowError(const std::string& caption, const std::string& text) = 0;
};

// The dialog's handlers. They edit the global Settings; only OKClick writes them to the store.
class TfrmConfig {
 public:
  // applicationTitle is the caption of the error message box ("ScreenSaver").
  TfrmConfig(TConfigView& view, std::string applicationTitle);

  // Loads Settings and fills the boxes: cbShowTime first, then cbShowTrails.
  void FormCreate();
  void cbShowTimeClick();
  void cbShowTrailsClick();
  // Saves Settings and closes; a failed save is shown and the dialog stays open.
  void OKClick();
  // Closes without saving.
  void CancelClick();

 private:
  // Sets a box as a user's click would: its click handler runs when the state changes.
  void SetCheckBox(TConfigCheckBox box, bool checked);

  TConfigView& View;
  std::string ApplicationTitle;
};
