#!/usr/bin/python3
"""A stand-in for the desktop portal (org.freedesktop.portal.Desktop) on the session bus, for the
hot-key tests. It answers the global shortcuts' CreateSession and BindShortcuts as the portal
does, each with a Request object whose Response signal follows the call's reply, and sends
Activated when a test asks.

    fake_portal.py [shortcuts|without-shortcuts|refusing]   serves (default: shortcuts)
    fake_portal.py activate [ID]                             presses ID (toggle-window) once
    fake_portal.py report                                    prints what the portal was asked

"without-shortcuts" is a portal whose desktop part offers no global shortcuts (GNOME 43's, sway's):
the interface is missing.
"refusing" answers BindShortcuts with the Response code 1, as when the user declines the dialog.
"""

import json
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

PORTAL = "org.freedesktop.portal.Desktop"
PORTAL_PATH = "/org/freedesktop/portal/desktop"
SHORTCUTS = "org.freedesktop.portal.GlobalShortcuts"
REQUEST = "org.freedesktop.portal.Request"
SESSION = "org.freedesktop.portal.Session"
REGISTRY = "org.freedesktop.host.portal.Registry"
PROPERTIES = "org.freedesktop.DBus.Properties"
CONTROL = "org.tallyhour.FakePortal"
CONTROL_PATH = "/org/tallyhour/FakePortal"
TRIGGER = "Ctrl+Alt+H"


def say(text):
    print(text, flush=True)


def sender_element(sender):
    return sender[1:].replace(".", "_")


class Request(dbus.service.Object):
    """One request: its Response is sent once the reply to the call that made it is out."""

    def __init__(self, bus, path):
        super().__init__(bus, path)

    @dbus.service.method(REQUEST, in_signature="", out_signature="")
    def Close(self):
        self.remove_from_connection()

    @dbus.service.signal(REQUEST, signature="ua{sv}")
    def Response(self, code, results):
        pass

    def respond_later(self, code, results):
        def respond():
            self.Response(dbus.UInt32(code), dbus.Dictionary(results, signature="sv"))
            self.remove_from_connection()
            return False
        GLib.idle_add(respond)


class Session(dbus.service.Object):
    def __init__(self, bus, path, owner):
        super().__init__(bus, path)
        self.path = path
        self.owner = owner

    @dbus.service.method(SESSION, in_signature="", out_signature="")
    def Close(self):
        say("session closed " + self.path)
        self.remove_from_connection()

    @dbus.service.signal(SESSION, signature="a{sv}")
    def Closed(self, details):
        pass


class Portal(dbus.service.Object):
    def __init__(self, bus, mode):
        super().__init__(bus, PORTAL_PATH)
        self.bus = bus
        self.mode = mode
        self.sessions = {}
        self.bindings = []
        self.registered = []
        self.calls = []

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface == SHORTCUTS and self.mode != "without-shortcuts" and name == "version":
            return dbus.UInt32(1, variant_level=1)
        # What GLib answers for an interface the object does not have.
        raise dbus.exceptions.DBusException("No such interface \u201c%s\u201d" % interface,
                                            name="org.freedesktop.DBus.Error.InvalidArgs")

    @dbus.service.method(REGISTRY, in_signature="sa{sv}", out_signature="", sender_keyword="sender")
    def Register(self, app_id, options, sender=None):
        self.registered.append(str(app_id))

    def request(self, sender, options):
        token = str(options.get("handle_token", "t%d" % len(self.calls)))
        return Request(self.bus, "%s/request/%s/%s" % (PORTAL_PATH, sender_element(sender), token))

    @dbus.service.method(SHORTCUTS, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, options, sender=None):
        if self.mode == "without-shortcuts":
            raise dbus.exceptions.DBusException("No such interface", name="org.freedesktop.DBus.Error.UnknownMethod")
        self.calls.append("CreateSession")
        request = self.request(sender, options)
        token = str(options.get("session_handle_token", "s%d" % len(self.calls)))
        path = "%s/session/%s/%s" % (PORTAL_PATH, sender_element(sender), token)
        self.sessions[path] = Session(self.bus, path, sender)
        request.respond_later(0, {"session_handle": dbus.String(path)})
        return dbus.ObjectPath(request.__dbus_object_path__)

    @dbus.service.method(SHORTCUTS, in_signature="oa(sa{sv})sa{sv}", out_signature="o", sender_keyword="sender")
    def BindShortcuts(self, session, shortcuts, parent_window, options, sender=None):
        self.calls.append("BindShortcuts")
        request = self.request(sender, options)
        bound = []
        for shortcut_id, properties in shortcuts:
            self.bindings.append({"session": str(session), "id": str(shortcut_id),
                                  "description": str(properties.get("description", "")),
                                  "preferred_trigger": str(properties.get("preferred_trigger", "")),
                                  "parent_window": str(parent_window)})
            bound.append(dbus.Struct((shortcut_id, dbus.Dictionary(
                {"description": properties.get("description", ""),
                 "trigger_description": dbus.String(TRIGGER)}, signature="sv"))))
        if self.mode == "refusing" or str(session) not in self.sessions:
            request.respond_later(1 if self.mode == "refusing" else 2, {})
        else:
            request.respond_later(0, {"shortcuts": dbus.Array(bound, signature="(sa{sv})")})
        return dbus.ObjectPath(request.__dbus_object_path__)

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session_handle, shortcut_id, timestamp, options):
        pass

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Deactivated(self, session_handle, shortcut_id, timestamp, options):
        pass


class Control(dbus.service.Object):
    def __init__(self, bus, portal):
        super().__init__(bus, CONTROL_PATH)
        self.portal = portal

    @dbus.service.method(CONTROL, in_signature="s", out_signature="i")
    def Activate(self, shortcut_id):
        sent = 0
        for binding in self.portal.bindings:
            if binding["id"] == shortcut_id and binding["session"] in self.portal.sessions:
                now = dbus.UInt64(GLib.get_monotonic_time() // 1000)
                self.portal.Activated(dbus.ObjectPath(binding["session"]), shortcut_id, now,
                                      dbus.Dictionary({}, signature="sv"))
                self.portal.Deactivated(dbus.ObjectPath(binding["session"]), shortcut_id, now,
                                        dbus.Dictionary({}, signature="sv"))
                sent += 1
        return sent

    @dbus.service.method(CONTROL, in_signature="", out_signature="s")
    def Report(self):
        return json.dumps({"mode": self.portal.mode, "calls": self.portal.calls,
                           "registered": self.portal.registered, "bindings": self.portal.bindings})


def serve(mode):
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    portal = Portal(bus, mode)
    Control(bus, portal)
    name = dbus.service.BusName(PORTAL, bus, do_not_queue=True)
    control_name = dbus.service.BusName(CONTROL, bus, do_not_queue=True)
    say("fake portal ready (%s)" % mode)
    GLib.MainLoop().run()
    del name, control_name


def control(command, argument):
    bus = dbus.SessionBus()
    proxy = dbus.Interface(bus.get_object(CONTROL, CONTROL_PATH), CONTROL)
    if command == "activate":
        print(int(proxy.Activate(argument)))
    else:
        print(str(proxy.Report()))


if __name__ == "__main__":
    first = sys.argv[1] if len(sys.argv) > 1 else "shortcuts"
    if first in ("activate", "report"):
        control(first, sys.argv[2] if len(sys.argv) > 2 else "toggle-window")
    elif first in ("shortcuts", "without-shortcuts", "refusing"):
        serve(first)
    else:
        sys.exit("unknown mode " + first)
