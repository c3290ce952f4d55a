// Key symbols to virtual-key codes by table, and typed text to code page 1251 through iconv,
// one character at a time so a character without a byte costs only its own place.
#include "keys/key_codes.h"

#include <X11/XF86keysym.h>
#include <X11/keysym.h>

#include "forms.h"
#include "text/encoding.h"

uint16_t VirtualKeyOf(unsigned long sym) {
  if (sym >= XK_a && sym <= XK_z) return static_cast<uint16_t>('A' + (sym - XK_a));
  if (sym >= XK_A && sym <= XK_Z) return static_cast<uint16_t>('A' + (sym - XK_A));
  if (sym >= XK_0 && sym <= XK_9) return static_cast<uint16_t>('0' + (sym - XK_0));
  if (sym >= XK_KP_0 && sym <= XK_KP_9) return static_cast<uint16_t>(VK::Numpad0 + (sym - XK_KP_0));
  if (sym >= XK_F1 && sym <= XK_F24) return static_cast<uint16_t>(VK::F1 + (sym - XK_F1));
  struct TKeyPair {
    unsigned long Sym;
    uint16_t Key;
  };
  // clang-format off
  static const TKeyPair Pairs[] = {
      {XK_BackSpace, VK::Back}, {XK_Tab, VK::Tab}, {XK_ISO_Left_Tab, VK::Tab},
      {XK_Return, VK::Return}, {XK_KP_Enter, VK::Return}, {XK_Shift_L, VK::Shift},
      {XK_Shift_R, VK::Shift}, {XK_Control_L, VK::Control}, {XK_Control_R, VK::Control},
      {XK_Alt_L, VK::Menu}, {XK_Alt_R, VK::Menu}, {XK_Meta_L, VK::Menu}, {XK_Meta_R, VK::Menu},
      {XK_Pause, VK::Pause}, {XK_Caps_Lock, VK::Capital}, {XK_Escape, VK::Escape},
      {XK_space, VK::Space}, {XK_Prior, VK::Prior}, {XK_KP_Prior, VK::Prior}, {XK_Next, VK::Next},
      {XK_KP_Next, VK::Next}, {XK_End, VK::End}, {XK_KP_End, VK::End}, {XK_Home, VK::Home},
      {XK_KP_Home, VK::Home}, {XK_Left, VK::Left}, {XK_KP_Left, VK::Left}, {XK_Up, VK::Up},
      {XK_KP_Up, VK::Up}, {XK_Right, VK::Right}, {XK_KP_Right, VK::Right}, {XK_Down, VK::Down},
      {XK_KP_Down, VK::Down}, {XK_Insert, VK::Insert}, {XK_KP_Insert, VK::Insert},
      {XK_Delete, VK::Delete}, {XK_KP_Delete, VK::Delete}, {XK_KP_Multiply, VK::Multiply},
      {XK_KP_Add, VK::Add}, {XK_KP_Subtract, VK::Subtract}, {XK_KP_Decimal, VK::Decimal},
      {XK_KP_Divide, VK::Divide}, {XK_Super_L, 91}, {XK_Super_R, 92}, {XK_Menu, 93},
      {XK_semicolon, 186}, {XK_equal, 187}, {XK_comma, 188}, {XK_minus, 189}, {XK_period, 190},
      {XK_slash, 191}, {XK_grave, 192}, {XK_bracketleft, 219}, {XK_backslash, 220},
      {XK_bracketright, 221}, {XK_apostrophe, 222},
      // AltGr is Alt to Windows; the lock keys, Print and the 102nd key have codes of their own.
      {XK_ISO_Level3_Shift, VK::Menu}, {XK_Mode_switch, VK::Menu}, {XK_Print, 44},
      {XK_Sys_Req, 44}, {XK_Num_Lock, 144}, {XK_Scroll_Lock, 145}, {XK_KP_Begin, 12},
      {XK_less, 226},
      {XF86XK_AudioMute, 173}, {XF86XK_AudioLowerVolume, 174}, {XF86XK_AudioRaiseVolume, 175},
      {XF86XK_AudioNext, 176}, {XF86XK_AudioPrev, 177}, {XF86XK_AudioStop, 178},
      {XF86XK_AudioPlay, 179}, {XF86XK_AudioPause, 179},
  };
  // clang-format on
  for (const TKeyPair& pair : Pairs)
    if (pair.Sym == sym) return pair.Key;
  return VK::Unassigned;
}

std::string KeyPressCharacters(const std::string& utf8) {
  std::string bytes;
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const size_t length = lead < 0x80             ? 1
                          : (lead & 0xE0) == 0xC0 ? 2
                          : (lead & 0xF0) == 0xE0 ? 3
                                                  : 4;
    std::string byte;
    if (lead < 0x80)
      bytes += utf8[i];
    else
      bytes += EncodeFromUtf8(utf8.substr(i, length), "CP1251", byte) && byte.size() == 1 ? byte[0]
                                                                                          : '?';
    i += length;
  }
  return bytes;
}
