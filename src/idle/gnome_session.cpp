// GNOME's session settings, looked up without GSettings' abort on a missing schema.
#include "gnome_session.h"

GSettings* GnomeSessionSettings() {
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  GSettingsSchema* schema =
      source ? g_settings_schema_source_lookup(source, "org.gnome.desktop.session", TRUE) : nullptr;
  if (schema == nullptr) return nullptr;
  GSettings* session = g_settings_schema_has_key(schema, "idle-delay")
                           ? g_settings_new_full(schema, nullptr, nullptr)
                           : nullptr;
  g_settings_schema_unref(schema);
  return session;
}

unsigned GnomeIdleDelay(GSettings* session) {
  return session ? g_settings_get_uint(session, "idle-delay") : 300;
}
