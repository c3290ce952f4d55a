/* A pointer for the Wayland scripts: a virtual pointer of the compositor's seat, which moves or
 * clicks once and goes again.
 *   wl_pointer move DX DY   moves the pointer by (DX, DY) pixels
 *   wl_pointer click        presses and releases the left button
 * Status 0 once the compositor has taken the events, 1 on any failure. */
#define _POSIX_C_SOURCE 200809L
#include <linux/input-event-codes.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

#include "virtual-pointer-client-protocol.h"

static struct wl_seat *seat;
static struct zwlr_virtual_pointer_manager_v1 *manager;

static void global(void *data, struct wl_registry *registry, uint32_t name, const char *interface,
                   uint32_t version) {
  (void)data;
  (void)version;
  if (strcmp(interface, wl_seat_interface.name) == 0 && !seat)
    seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
  else if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
    manager = wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
}

static void global_remove(void *data, struct wl_registry *registry, uint32_t name) {
  (void)data;
  (void)registry;
  (void)name;
}

static const struct wl_registry_listener registry_listener = {global, global_remove};

static uint32_t now_ms(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (uint32_t)(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

static void pause_ms(long ms) {
  struct timespec t = {ms / 1000, (ms % 1000) * 1000000};
  nanosleep(&t, NULL);
}

static int usage(void) {
  fprintf(stderr, "usage: wl_pointer move DX DY | wl_pointer click\n");
  return 1;
}

int main(int argc, char **argv) {
  int move = argc == 4 && strcmp(argv[1], "move") == 0;
  int click = argc == 2 && strcmp(argv[1], "click") == 0;
  if (!move && !click) return usage();

  struct wl_display *display = wl_display_connect(NULL);
  if (!display) {
    fprintf(stderr, "wl_pointer: no Wayland display\n");
    return 1;
  }
  struct wl_registry *registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &registry_listener, NULL);
  wl_display_roundtrip(display);
  if (!manager) {
    fprintf(stderr, "wl_pointer: the compositor has no virtual pointers\n");
    return 1;
  }
  struct zwlr_virtual_pointer_v1 *pointer =
      zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
  wl_display_roundtrip(display);
  /* The compositor adds the new device to its seat before it passes on its events: events sent
   * at once are lost. */
  pause_ms(300);

  if (move) {
    zwlr_virtual_pointer_v1_motion(pointer, now_ms(), wl_fixed_from_double(atof(argv[2])),
                                   wl_fixed_from_double(atof(argv[3])));
    zwlr_virtual_pointer_v1_frame(pointer);
  } else {
    zwlr_virtual_pointer_v1_button(pointer, now_ms(), BTN_LEFT, WL_POINTER_BUTTON_STATE_PRESSED);
    zwlr_virtual_pointer_v1_frame(pointer);
    zwlr_virtual_pointer_v1_button(pointer, now_ms(), BTN_LEFT, WL_POINTER_BUTTON_STATE_RELEASED);
    zwlr_virtual_pointer_v1_frame(pointer);
  }
  int failed = wl_display_roundtrip(display) < 0;
  pause_ms(100);

  zwlr_virtual_pointer_v1_destroy(pointer);
  zwlr_virtual_pointer_manager_v1_destroy(manager);
  if (seat) wl_seat_destroy(seat);
  wl_registry_destroy(registry);
  failed = failed || wl_display_roundtrip(display) < 0;
  wl_display_disconnect(display);
  if (failed) fprintf(stderr, "wl_pointer: the compositor closed the connection\n");
  return failed;
}
