#!/usr/bin/python3
"""Stand-ins for systemd-logind (on the bus named by DBUS_SYSTEM_BUS_ADDRESS) and a desktop
screen saver (on the session bus) for the desktop tests. They answer what the program asks
(its session, PowerOff, Reboot) and send Lock, Unlock, LockedHint changes, PrepareForSleep and
ActiveChanged when a test asks through the control interfaces below. A power-off request only
counts and is written to standard output; nothing is ever shut down."""

import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

LOGIND = "org.freedesktop.login1"
MANAGER_PATH = "/org/freedesktop/login1"
MANAGER = "org.freedesktop.login1.Manager"
SESSION_PATH = "/org/freedesktop/login1/session/_31"
SESSION = "org.freedesktop.login1.Session"
PROPERTIES = "org.freedesktop.DBus.Properties"
LOGIND_CONTROL = "org.tallyhour.FakeLogind"
SAVER = "org.freedesktop.ScreenSaver"
SAVER_PATH = "/org/freedesktop/ScreenSaver"
SAVER_CONTROL = "org.tallyhour.FakeScreenSaver"


def say(text):
    print(text, flush=True)


class Session(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, SESSION_PATH)
        self.locked_hint = False

    def properties(self):
        return {"Id": dbus.String("1"), "Active": dbus.Boolean(True),
                "LockedHint": dbus.Boolean(self.locked_hint)}

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.properties()[name]

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self.properties()

    @dbus.service.signal(PROPERTIES, signature="sa{sv}as")
    def PropertiesChanged(self, interface, changed, invalidated):
        pass

    @dbus.service.signal(SESSION, signature="")
    def Lock(self):
        pass

    @dbus.service.signal(SESSION, signature="")
    def Unlock(self):
        pass


class Manager(dbus.service.Object):
    def __init__(self, bus, session):
        super().__init__(bus, MANAGER_PATH)
        self.session = session
        self.power_offs = 0
        self.reboots = 0
        self.refusal = ""

    @dbus.service.method(MANAGER, in_signature="u", out_signature="o")
    def GetSessionByPID(self, pid):
        return dbus.ObjectPath(SESSION_PATH)

    @dbus.service.method(MANAGER, in_signature="s", out_signature="o")
    def GetSession(self, session_id):
        return dbus.ObjectPath(SESSION_PATH)

    def refuse_or_count(self, what):
        if self.refusal:
            say(what + " refused")
            raise dbus.exceptions.DBusException(self.refusal, name="org.freedesktop.DBus.Error.AccessDenied")
        say(what)

    @dbus.service.method(MANAGER, in_signature="b", out_signature="")
    def PowerOff(self, interactive):
        self.power_offs += 1
        self.refuse_or_count("PowerOff interactive=%s" % bool(interactive))

    @dbus.service.method(MANAGER, in_signature="b", out_signature="")
    def Reboot(self, interactive):
        self.reboots += 1
        self.refuse_or_count("Reboot interactive=%s" % bool(interactive))

    @dbus.service.signal(MANAGER, signature="b")
    def PrepareForSleep(self, start):
        pass

    # The test's controls.
    @dbus.service.method(LOGIND_CONTROL, in_signature="", out_signature="")
    def EmitLock(self):
        self.session.Lock()

    @dbus.service.method(LOGIND_CONTROL, in_signature="", out_signature="")
    def EmitUnlock(self):
        self.session.Unlock()

    @dbus.service.method(LOGIND_CONTROL, in_signature="b", out_signature="")
    def LockedHintSet(self, locked):
        self.session.locked_hint = bool(locked)
        self.session.PropertiesChanged(SESSION, {"LockedHint": dbus.Boolean(locked)}, dbus.Array([], signature="s"))

    @dbus.service.method(LOGIND_CONTROL, in_signature="b", out_signature="")
    def EmitPrepareForSleep(self, start):
        self.PrepareForSleep(bool(start))

    @dbus.service.method(LOGIND_CONTROL, in_signature="", out_signature="uu")
    def ShutdownCountsGet(self):
        return dbus.UInt32(self.power_offs), dbus.UInt32(self.reboots)

    @dbus.service.method(LOGIND_CONTROL, in_signature="s", out_signature="")
    def RefusalSet(self, message):
        self.refusal = str(message)


class ScreenSaver(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, SAVER_PATH)
        self.active = False

    @dbus.service.method(SAVER, in_signature="", out_signature="b")
    def GetActive(self):
        return self.active

    @dbus.service.signal(SAVER, signature="b")
    def ActiveChanged(self, active):
        pass

    @dbus.service.method(SAVER_CONTROL, in_signature="b", out_signature="")
    def ActiveSet(self, active):
        self.active = bool(active)
        self.ActiveChanged(self.active)


def main():
    DBusGMainLoop(set_as_default=True)
    system = dbus.SystemBus()
    session = dbus.SessionBus()
    objects = []
    logind_session = Session(system)
    objects.append(logind_session)
    objects.append(Manager(system, logind_session))
    objects.append(ScreenSaver(session))
    # The names last, so a test that sees them can use every object at once.
    names = [dbus.service.BusName(LOGIND, system), dbus.service.BusName(SAVER, session)]
    say("ready")
    loop = GLib.MainLoop()
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, 15, loop.quit)
    loop.run()
    del names, objects
    return 0


if __name__ == "__main__":
    sys.exit(main())
