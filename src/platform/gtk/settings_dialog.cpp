// The GTK 3 window behind TfrmConfig, the module tundrel-settings.so whose one entry the saver
// calls: the design's fixed layout in a GtkFixed, OK as the default button, Cancel on Escape,
// and the error message box, and the live wallpaper's box under the others; in GNOME sessions a
// wider and taller window with the idle watcher's line between them. On
// X11 other instances find its window by its title; a Wayland session shows it as a native
// Wayland window, where no program sees another's windows. Every decision is TfrmConfig's.
#include "settings_dialog.h"

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <type_traits>

#include "autostart.h"
#include "dpi_rules.h"
#include "fConfig_dialog.h"
#include "idle_watcher_gio.h"
#include "live_wallpaper_gio.h"
#include "program_folder.h"

namespace {

// The idle line widens the window (of the design's client area, dpi_rules.h) and leaves the other
// controls where they are, in pixels. "Start after [N] minutes of inactivity": box, minutes and
// label centred on one row.
constexpr int IdleLineClientWidth = 360;
constexpr TScreenRect StartAfterPlace{24, 64, 94, 17};
constexpr TScreenRect IdleMinutesPlace{122, 62, 92, 21};
constexpr TScreenRect InactivityPlace{220, 64, 129, 17};
// The line's note, under it.
constexpr TScreenRect IdleNotePlace{24, 88, 325, 17};
// With the idle line the live wallpaper's box stands under its note, and OK and Cancel and the
// window's bottom edge move down by ButtonsDown.
constexpr int WallpaperUnderIdleLine = 112;  // the box's top
constexpr int ButtonsDown = 32;

// The dialog's widget name; the style below applies to its controls only.
const char* const DialogName = "frmConfig";

// A GtkFixed gives each control its minimum size, which the theme's padding, minimum heights and
// text size would push past the places above (they were laid out for an 8-point dialog font).
// With these the controls fit their places exactly; a theme that still needs more room makes
// them larger rather than cutting their captions. Colours and font family stay the theme's.
const char* const DialogStyle =
    "#frmConfig button, #frmConfig checkbutton {"
    "  min-height: 0; padding-top: 0; padding-bottom: 0; margin: 0; font-size: 9pt;"
    "}"
    "#frmConfig spinbutton, #frmConfig #lbInactivity, #frmConfig #lbIdleNote { font-size: 9pt; }"
    "#frmConfig spinbutton, #frmConfig spinbutton entry { min-height: 0; }"
    "#frmConfig spinbutton entry { padding: 0 4px; }"
    "#frmConfig spinbutton button { min-width: 0; padding: 0 4px; }";

class TGtkConfigView final : public TConfigView {
 public:
  // idleLine: the window has the idle watcher's line.
  TGtkConfigView(const std::string& applicationTitle, bool idleLine);
  ~TGtkConfigView() override;
  TGtkConfigView(const TGtkConfigView&) = delete;
  TGtkConfigView& operator=(const TGtkConfigView&) = delete;

  // Fills the boxes, shows the dialog and runs the loop until the dialog is gone.
  void Run(TfrmConfig& form);

  bool IsChecked(TConfigCheckBox box) const override;
  void SetChecked(TConfigCheckBox box, bool checked) override;
  void Close() override;
  void ShowError(const std::string& caption, const std::string& text) override;
  TIdleStart IdleLine() const override;
  void SetIdleLine(const TIdleStart& start) override;
  void SetIdleNote(const std::string& note) override;

 private:
  GtkWidget* CheckBox(TConfigCheckBox box) const {
    return box == TConfigCheckBox::cbShowTime     ? cbShowTime
           : box == TConfigCheckBox::cbShowTrails ? cbShowTrails
                                                  : cbLiveWallpaper;
  }
  // 0 for the live wallpaper's box, which reports no clicks.
  gulong ToggledHandler(TConfigCheckBox box) const {
    return box == TConfigCheckBox::cbShowTime     ? ShowTimeToggled
           : box == TConfigCheckBox::cbShowTrails ? ShowTrailsToggled
                                                  : 0;
  }
  void Connect(TfrmConfig& form);

  // The application's own top-level window: never shown, titled with the application title so
  // that a later instance finds it and asks it to close.
  GtkWidget* ApplicationWindow = nullptr;
  GtkWidget* Window = nullptr;  // the dialog; null once destroyed
  GtkWidget* cbShowTime = nullptr;
  GtkWidget* cbShowTrails = nullptr;
  GtkWidget* cbLiveWallpaper = nullptr;
  GtkWidget* OK = nullptr;
  GtkWidget* Cancel = nullptr;
  GtkWidget* cbStartAfter = nullptr;  // the idle line, where there is one
  GtkWidget* seIdleMinutes = nullptr;
  GtkWidget* lbIdleNote = nullptr;
  gulong ShowTimeToggled = 0;
  gulong ShowTrailsToggled = 0;
};

GtkWidget* Put(GtkWidget* fixed, GtkWidget* control, const TScreenRect& place) {
  gtk_widget_set_size_request(control, place.Width, place.Height);
  gtk_fixed_put(GTK_FIXED(fixed), control, place.Left, place.Top);
  return control;
}

TGtkConfigView::TGtkConfigView(const std::string& applicationTitle, bool idleLine) {
  GtkCssProvider* style = gtk_css_provider_new();
  gtk_css_provider_load_from_data(style, DialogStyle, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(style),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(style);

  ApplicationWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(ApplicationWindow), applicationTitle.c_str());
  gtk_widget_realize(ApplicationWindow);

  Window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_set_name(Window, DialogName);
  gtk_window_set_title(GTK_WINDOW(Window), "Settings");
  gtk_window_set_type_hint(GTK_WINDOW(Window), GDK_WINDOW_TYPE_HINT_DIALOG);
  gtk_window_set_resizable(GTK_WINDOW(Window), FALSE);
  gtk_window_set_position(GTK_WINDOW(Window), GTK_WIN_POS_CENTER);

  GtkWidget* fixed = gtk_fixed_new();
  const int down = idleLine ? ButtonsDown : 0;
  gtk_widget_set_size_request(fixed, idleLine ? IdleLineClientWidth : DialogClientWidth,
                              DialogClientHeight + down);
  gtk_container_add(GTK_CONTAINER(Window), fixed);
  // Tab follows the controls' places, top to bottom and left to right: the two boxes, the idle
  // line's box and minutes, the live wallpaper's box, then OK, then Cancel.
  cbShowTime = Put(fixed, gtk_check_button_new_with_label("Show time"), DialogControls[0]);
  cbShowTrails = Put(fixed, gtk_check_button_new_with_label("Show trails"), DialogControls[1]);
  if (idleLine) {
    cbStartAfter = Put(fixed, gtk_check_button_new_with_label("Start after"), StartAfterPlace);
    seIdleMinutes = Put(fixed, gtk_spin_button_new_with_range(MinIdleMinutes, MaxIdleMinutes, 1),
                        IdleMinutesPlace);
    gtk_entry_set_width_chars(GTK_ENTRY(seIdleMinutes), 4);
    gtk_spin_button_set_numeric(GTK_SPIN_BUTTON(seIdleMinutes), TRUE);
    // Enter in the minutes presses OK, as it does on a check box.
    gtk_entry_set_activates_default(GTK_ENTRY(seIdleMinutes), TRUE);
    GtkWidget* inactivity = gtk_label_new("minutes of inactivity");
    gtk_widget_set_name(inactivity, "lbInactivity");
    gtk_label_set_xalign(GTK_LABEL(inactivity), 0);
    Put(fixed, inactivity, InactivityPlace);
    // Unchecked, the line's minutes do not count and are greyed.
    for (GtkWidget* control : {seIdleMinutes, inactivity})
      g_object_bind_property(cbStartAfter, "active", control, "sensitive", G_BINDING_SYNC_CREATE);
    lbIdleNote = Put(fixed, gtk_label_new(""), IdleNotePlace);
    gtk_widget_set_name(lbIdleNote, "lbIdleNote");
    gtk_label_set_xalign(GTK_LABEL(lbIdleNote), 0);
  }
  TScreenRect wallpaperPlace = DialogWallpaperBox;
  if (idleLine) wallpaperPlace.Top = WallpaperUnderIdleLine;
  cbLiveWallpaper = Put(fixed, gtk_check_button_new_with_label("Live wallpaper"), wallpaperPlace);
  TScreenRect okPlace = DialogControls[2], cancelPlace = DialogControls[3];
  okPlace.Top += down;
  cancelPlace.Top += down;
  OK = Put(fixed, gtk_button_new_with_label("OK"), okPlace);
  Cancel = Put(fixed, gtk_button_new_with_label("Cancel"), cancelPlace);

  // Enter presses OK unless a button has the focus; check boxes do not take the default.
  gtk_widget_set_can_default(OK, TRUE);
  gtk_window_set_default(GTK_WINDOW(Window), OK);
  GtkAccelGroup* keys = gtk_accel_group_new();
  gtk_window_add_accel_group(GTK_WINDOW(Window), keys);
  gtk_widget_add_accelerator(Cancel, "clicked", keys, GDK_KEY_Escape, GdkModifierType(0),
                             GtkAccelFlags(0));
  g_object_unref(keys);
  gtk_widget_grab_focus(cbShowTime);
}

TGtkConfigView::~TGtkConfigView() {
  if (Window) gtk_widget_destroy(Window);
  gtk_widget_destroy(ApplicationWindow);
}

void TGtkConfigView::Connect(TfrmConfig& form) {
  ShowTimeToggled = g_signal_connect(
      cbShowTime, "toggled",
      G_CALLBACK(+[](GtkToggleButton*, TfrmConfig* f) { f->cbShowTimeClick(); }), &form);
  ShowTrailsToggled = g_signal_connect(
      cbShowTrails, "toggled",
      G_CALLBACK(+[](GtkToggleButton*, TfrmConfig* f) { f->cbShowTrailsClick(); }), &form);
  if (cbStartAfter != nullptr) {
    const auto changed = G_CALLBACK(+[](TfrmConfig* f) { f->IdleLineChanged(); });
    g_signal_connect_swapped(cbStartAfter, "toggled", changed, &form);
    g_signal_connect_swapped(seIdleMinutes, "value-changed", changed, &form);
  }
  g_signal_connect_swapped(OK, "clicked", G_CALLBACK(+[](TfrmConfig* f) { f->OKClick(); }), &form);
  g_signal_connect_swapped(Cancel, "clicked", G_CALLBACK(+[](TfrmConfig* f) { f->CancelClick(); }),
                           &form);
  // The close box closes without saving: GTK destroys the window, which ends the loop. A
  // request to close the application window closes the dialog the same way.
  g_signal_connect(Window, "destroy", G_CALLBACK(+[](GtkWidget*, TGtkConfigView* view) {
                     view->Window = nullptr;
                     if (gtk_main_level() > 0) gtk_main_quit();
                   }),
                   this);
  g_signal_connect(ApplicationWindow, "delete-event",
                   G_CALLBACK(+[](GtkWidget*, GdkEvent*, TGtkConfigView* view) -> gboolean {
                     view->Close();
                     return TRUE;
                   }),
                   this);
}

void TGtkConfigView::Run(TfrmConfig& form) {
  Connect(form);
  // SIGTERM and SIGINT close the dialog from the loop, like Cancel: nothing is saved and the
  // program ends in order.
  for (int signal : {SIGTERM, SIGINT}) {
    g_unix_signal_add(
        signal,
        +[](gpointer data) -> gboolean {
          static_cast<TGtkConfigView*>(data)->Close();
          return G_SOURCE_REMOVE;
        },
        this);
  }
  form.FormCreate();
  gtk_widget_show_all(Window);
  gtk_main();
}

bool TGtkConfigView::IsChecked(TConfigCheckBox box) const {
  return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(CheckBox(box)));
}

void TGtkConfigView::SetChecked(TConfigCheckBox box, bool checked) {
  GtkWidget* widget = CheckBox(box);
  const gulong handler = ToggledHandler(box);
  if (handler != 0) g_signal_handler_block(widget, handler);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(widget), checked);
  if (handler != 0) g_signal_handler_unblock(widget, handler);
}

TIdleStart TGtkConfigView::IdleLine() const {
  if (cbStartAfter == nullptr) return TConfigView::IdleLine();
  // Minutes typed but not yet taken (no Enter, no change of focus) count as well.
  gtk_spin_button_update(GTK_SPIN_BUTTON(seIdleMinutes));
  return TIdleStart{
      gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(cbStartAfter)) != FALSE,
      static_cast<unsigned>(gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(seIdleMinutes)))};
}

void TGtkConfigView::SetIdleLine(const TIdleStart& start) {
  if (cbStartAfter == nullptr) return;
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(cbStartAfter), start.Enabled);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(seIdleMinutes), start.Minutes);
}

void TGtkConfigView::SetIdleNote(const std::string& note) {
  if (lbIdleNote != nullptr) gtk_label_set_text(GTK_LABEL(lbIdleNote), note.c_str());
}

void TGtkConfigView::Close() {
  if (Window) gtk_widget_destroy(Window);
}

void TGtkConfigView::ShowError(const std::string& caption, const std::string& text) {
  GtkWidget* box = gtk_message_dialog_new(GTK_WINDOW(Window), GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                          GTK_BUTTONS_OK, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(box), caption.c_str());
  // GTK 3 message boxes no longer show their type's icon; the error icon goes before the text,
  // where the box once kept it.
  GtkWidget* icon = gtk_image_new_from_icon_name("dialog-error", GTK_ICON_SIZE_DIALOG);
  gtk_widget_set_valign(icon, GTK_ALIGN_START);
  GtkWidget* row =
      gtk_widget_get_parent(gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(box)));
  gtk_box_pack_start(GTK_BOX(row), icon, FALSE, FALSE, 0);
  gtk_box_reorder_child(GTK_BOX(row), icon, 0);
  gtk_widget_show(icon);
  // A signal that closes the dialog closes the box with it; the extra reference keeps the
  // destroyed box valid until it is let go here.
  gtk_window_set_destroy_with_parent(GTK_WINDOW(box), TRUE);
  g_object_ref(box);
  gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
  g_object_unref(box);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int TundrelSettingsDialog(
    const char* applicationTitle) {
  static_assert(std::is_same<decltype(&TundrelSettingsDialog), TSettingsDialogEntry>::value,
                "the entry is what the saver calls");
  // Windows are found across instances by their X11 titles and class (res_name "tundrel",
  // res_class "Tundrel"), so the dialog opens on no other backend, a Wayland session's aside,
  // which the saver too runs on.
  g_set_prgname("tundrel");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  gdk_set_allowed_backends(wayland && *wayland ? "wayland,x11" : "x11");
  if (!gtk_init_check(nullptr, nullptr)) {
    const char* display = std::getenv("DISPLAY");
    if (display && *display) {
      std::fprintf(stderr, "tundrel: cannot open display '%s'\n", display);
    } else {
      std::fprintf(stderr, "tundrel: no display to open (DISPLAY is not set)\n");
    }
    return 1;
  }
  gdk_set_program_class("Tundrel");
  const std::string title(applicationTitle);
  // The idle watcher serves GNOME only; elsewhere the session's own screensaver or idle daemon
  // starts the saver, and the dialog is the two boxes.
  const bool idleLine = IsGnomeDesktop(std::getenv("XDG_CURRENT_DESKTOP"));
  TGioIdleWatcher idleWatcher;
  // The module runs in the saver's process: the wallpaper is the saver's own /w.
  const std::string saver = ProgramPath();
  TGioLiveWallpaper wallpaper(saver.empty() ? TUNDREL_SAVER_INSTALLED_PATH : saver);
  TGtkConfigView view(title, idleLine);
  TfrmConfig form(view, title, idleLine ? &idleWatcher : nullptr, &wallpaper);
  view.Run(form);
  return 0;
}
