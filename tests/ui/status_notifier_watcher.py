#!/usr/bin/python3
"""A StatusNotifierWatcher with a host, for tests: owns org.kde.StatusNotifierWatcher on the
session bus, so Qt programs show their tray icon as a StatusNotifierItem, and prints one JSON line
per registered item with its ToolTip and IconPixmap as read back over the bus. Prints "ready" once
it owns the name."""

import base64
import json
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
INTROSPECTION = """<node>
 <interface name="org.kde.StatusNotifierWatcher">
  <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
 </interface>
 <interface name="org.freedesktop.DBus.Properties">
  <method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
  <method name="GetAll"><arg type="s" direction="in"/><arg type="a{sv}" direction="out"/></method>
 </interface>
</node>"""


class Watcher(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/StatusNotifierWatcher")
        self.bus = bus
        self.items = []

    @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        # The item names either its bus name or, with its sender's name, an object path.
        name, path = (sender, service) if service.startswith("/") else (service, "/StatusNotifierItem")
        self.items.append(name + path)
        self.StatusNotifierItemRegistered(name + path)
        # Read back once this call has been answered: the item may be waiting for the answer.
        GLib.idle_add(self.read_item, name, path)

    @dbus.service.method(WATCHER, in_signature="s")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, service):
        pass

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, prop):
        return self.GetAll(interface)[prop]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {
            "RegisteredStatusNotifierItems": dbus.Array(self.items, signature="s"),
            "IsStatusNotifierHostRegistered": dbus.Boolean(True),
            "ProtocolVersion": dbus.Int32(0),
        }

    # Qt reads IsStatusNotifierHostRegistered through introspection, which dbus-python does not
    # generate for properties.
    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, out_signature="s")
    def Introspect(self):
        return INTROSPECTION

    def read_item(self, name, path):
        # Asynchronous calls only: the item may itself be waiting on this watcher.
        item = self.bus.get_object(name, path, introspect=False)
        found = {}

        def keep(prop, value):
            found[prop] = value
            if len(found) == 2:
                self.report(name + path, found["ToolTip"], found["IconPixmap"])

        for prop in ("ToolTip", "IconPixmap"):
            item.Get(ITEM, prop, dbus_interface=dbus.PROPERTIES_IFACE,
                     reply_handler=lambda value, prop=prop: keep(prop, value),
                     error_handler=lambda error: print("error", error, flush=True))
        return False

    @staticmethod
    def report(item, tool_tip, pixmaps):
        print(json.dumps({
            "item": item,
            "toolTipTitle": str(tool_tip[2]),
            "toolTipText": str(tool_tip[3]),
            "iconPixmap": [{"width": int(w), "height": int(h),
                            "argb": base64.b64encode(bytes(data)).decode("ascii")}
                           for (w, h, data) in pixmaps],
        }), flush=True)


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    watcher = Watcher(bus)
    name = dbus.service.BusName(WATCHER, bus, do_not_queue=True)
    print("ready", flush=True)
    GLib.MainLoop().run()
    del name, watcher


if __name__ == "__main__":
    sys.exit(main())
