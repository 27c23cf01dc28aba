#!/usr/bin/python3
"""A stand-in for avahi-daemon on the D-Bus session bus.

It answers what an Avahi client asks when it starts and when it publishes a service, then says
the host name is being registered again, so the client withdraws its services with
EntryGroup.Reset; it never answers Reset or Free. HeldCallers() (interface test.AvahiStandIn)
lists the bus names whose calls it holds.
"""
import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

AVAHI = "org.freedesktop.Avahi"
GROUP = AVAHI + ".EntryGroup"
SERVER_RUNNING, SERVER_REGISTERING = 2, 1
held = []


class Group(dbus.service.Object):
    def __init__(self, server, path):
        super().__init__(server.connection, path)
        self.server = server
        self.empty = True

    @dbus.service.method(GROUP, out_signature="i")
    def GetState(self):
        return 0

    @dbus.service.method(GROUP, out_signature="b")
    def IsEmpty(self):
        return self.empty

    @dbus.service.method(GROUP, in_signature="iiussssqaay")
    def AddService(self, interface, protocol, flags, name, kind, domain, host, port, txt):
        self.empty = False

    @dbus.service.method(GROUP)
    def Commit(self):
        GLib.idle_add(self.server.StateChanged, SERVER_REGISTERING, "")

    @dbus.service.method(GROUP, sender_keyword="sender", async_callbacks=("reply", "fail"))
    def Reset(self, sender, reply, fail):
        held.append(sender)

    @dbus.service.method(GROUP, sender_keyword="sender", async_callbacks=("reply", "fail"))
    def Free(self, sender, reply, fail):
        held.append(sender)


class Server(dbus.service.Object):
    def __init__(self, connection):
        super().__init__(connection, "/")
        self.groups = []

    @dbus.service.method(AVAHI + ".Server", out_signature="u")
    def GetAPIVersion(self):
        return 516

    @dbus.service.method(AVAHI + ".Server", out_signature="i")
    def GetState(self):
        return SERVER_RUNNING

    @dbus.service.method(AVAHI + ".Server", out_signature="o")
    def EntryGroupNew(self):
        self.groups.append(Group(self, "/Client1/EntryGroup%d" % (len(self.groups) + 1)))
        return self.groups[-1]

    @dbus.service.signal(AVAHI + ".Server", signature="is")
    def StateChanged(self, state, error):
        pass

    @dbus.service.method("test.AvahiStandIn", out_signature="as")
    def HeldCallers(self):
        return held


DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
server = Server(bus)
name = dbus.service.BusName(AVAHI, bus)
GLib.MainLoop().run()
