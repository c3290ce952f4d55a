#!/usr/bin/python3
# Stand-ins for GNOME's session services, and the test's hands on mutter's input, on the session
# bus it is started in (by dbus-run-session):
#  org.gnome.SessionManager  the property InhibitedActions (8: idle is inhibited), which mutter's
#                            idle monitor follows
#  org.gnome.ScreenSaver     GetActive: whether GNOME's screen shield is up
#  input                     a remote-desktop session of mutter's (org.gnome.Mutter.RemoteDesktop),
#                            made again whenever mutter starts: keys (evdev codes) and pointer
#                            motion, which count as the user's input
# It writes the bus address into the file named by its argument, then reads commands, a line
# each, from the FIFO <that file>.in: "inhibit N", "shield 0|1", "key CODE", "move DX DY". It says
# "input ready" on stdout once mutter takes input, and "done <command>" after each command.
# With --idle-monitor after the file it also stands in for mutter's idle monitor, for a watcher
# that has no mutter to serve it: AddIdleWatch gives ids ("watch N" on stdout) but never fires,
# and "refuse N" makes its next N answers a string, which no watcher may take for an id.
# With --window LOG it is instead a window of another program that has the focus before the
# saver comes (a terminal, an editor): it logs "focused" once it has the keyboard's focus, and
# "press <key>" for every key pressed in it.
import os
import sys

if sys.argv[1] == "--window":
    import gi
    gi.require_version("Gtk", "3.0")
    from gi.repository import Gtk
    log = open(sys.argv[2], "w", buffering=1)
    window = Gtk.Window(title="focused before")
    window.set_default_size(400, 300)
    window.connect("notify::is-active",
                   lambda w, _: w.is_active() and log.write("focused\n"))
    window.connect("key-press-event", lambda w, e: log.write("press %d\n" % e.keyval))
    window.connect("destroy", Gtk.main_quit)
    window.show_all()
    Gtk.main()
    sys.exit()

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
PROPERTIES = "org.freedesktop.DBus.Properties"


def say(text):
    print(text, flush=True)


class SessionManager(dbus.service.Object):
    def __init__(self):
        super().__init__(bus, "/org/gnome/SessionManager")
        self.inhibited = dbus.UInt32(0)

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.inhibited

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {"InhibitedActions": self.inhibited}

    @dbus.service.signal(PROPERTIES, signature="sa{sv}as")
    def PropertiesChanged(self, interface, changed, invalidated):
        pass

    def set_inhibited(self, value):
        self.inhibited = dbus.UInt32(value)
        self.PropertiesChanged("org.gnome.SessionManager", {"InhibitedActions": self.inhibited},
                               [])


class ScreenSaver(dbus.service.Object):
    def __init__(self):
        super().__init__(bus, "/org/gnome/ScreenSaver")
        self.active = False

    @dbus.service.method("org.gnome.ScreenSaver", out_signature="b")
    def GetActive(self):
        return self.active


class IdleMonitor(dbus.service.Object):
    def __init__(self):
        super().__init__(bus, "/org/gnome/Mutter/IdleMonitor/Core")
        self.watches = 0
        self.refusals = 0

    # No out_signature: each answer goes with its own value's type.
    @dbus.service.method("org.gnome.Mutter.IdleMonitor", in_signature="t")
    def AddIdleWatch(self, interval):
        if self.refusals > 0:
            self.refusals -= 1
            say("refused")
            return dbus.String("busy")
        self.watches += 1
        say("watch %d" % self.watches)
        return dbus.UInt32(self.watches)

    @dbus.service.method("org.gnome.Mutter.IdleMonitor", in_signature="u")
    def RemoveWatch(self, id):
        pass


session_manager = SessionManager()
screen_saver = ScreenSaver()
owned = ["org.gnome.SessionManager", "org.gnome.ScreenSaver"]
idle_monitor = None
if sys.argv[2:] == ["--idle-monitor"]:
    owned.append("org.gnome.Mutter.IdleMonitor")
    idle_monitor = IdleMonitor()
names = [dbus.service.BusName(n, bus) for n in owned]
input_session = None


# Every call to mutter is asynchronous: mutter's own start-up calls this process synchronously.
def start_input(owner):
    global input_session
    input_session = None
    if not owner:
        return
    desktop = bus.get_object("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop",
                             introspect=False)
    desktop.CreateSession(dbus_interface="org.gnome.Mutter.RemoteDesktop",
                          reply_handler=session_created, error_handler=failed)


def failed(error):
    say("input failed: %s" % error)


def session_created(path):
    session = dbus.Interface(bus.get_object("org.gnome.Mutter.RemoteDesktop", path,
                                            introspect=False),
                             "org.gnome.Mutter.RemoteDesktop.Session")
    session.Start(reply_handler=lambda: session_started(session), error_handler=failed)


def session_started(session):
    global input_session
    input_session = session
    # The first key after the virtual keyboard appears arrives as already held: spend it on a
    # Shift before any key of the test's.
    send_key(42)
    session.NotifyPointerMotionRelative(0.0, 0.0, reply_handler=lambda: None, error_handler=failed)
    say("input ready")


def send_key(code):
    for state in (True, False):
        input_session.NotifyKeyboardKeycode(dbus.UInt32(code), state,
                                            reply_handler=lambda: None, error_handler=failed)


bus.watch_name_owner("org.gnome.Mutter.RemoteDesktop", start_input)


def run(line):
    words = line.split()
    if not words:
        return
    if words[0] == "inhibit":
        session_manager.set_inhibited(int(words[1]))
    elif words[0] == "shield":
        screen_saver.active = words[1] == "1"
    elif words[0] == "refuse" and idle_monitor is not None:
        idle_monitor.refusals = int(words[1])
    elif words[0] == "key" and input_session is not None:
        send_key(int(words[1]))
    elif words[0] == "move" and input_session is not None:
        input_session.NotifyPointerMotionRelative(float(words[1]), float(words[2]),
                                                  reply_handler=lambda: None,
                                                  error_handler=failed)
    say("done " + line)


pending = b""


def on_command(fd, condition):
    global pending
    pending += os.read(fd, 4096)
    *lines, pending = pending.split(b"\n")
    for line in lines:
        run(line.decode())
    return True


fifo = sys.argv[1] + ".in"
os.mkfifo(fifo)
# Opened for writing too, so that no writer's close is an end of file.
commands = os.open(fifo, os.O_RDWR | os.O_NONBLOCK)
GLib.io_add_watch(commands, GLib.IO_IN, on_command)
with open(sys.argv[1] + ".tmp", "w") as f:
    f.write(os.environ["DBUS_SESSION_BUS_ADDRESS"])
os.rename(sys.argv[1] + ".tmp", sys.argv[1])
GLib.MainLoop().run()
