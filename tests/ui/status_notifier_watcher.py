#!/usr/bin/python3
# A StatusNotifierWatcher with a host, for tests: owns org.kde.StatusNotifierWatcher on the session
# bus, so Qt programs show their tray icon as a StatusNotifierItem, and prints one JSON line per
# item that registers, with its ToolTip and IconPixmap read back over the bus. Prints "ready" first.
import base64
import json

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
# Qt reads IsStatusNotifierHostRegistered through introspection, which dbus-python does not
# generate for properties.
INTROSPECTION = f"""<node><interface name="{WATCHER}">
 <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
 <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
</interface></node>"""


class Watcher(dbus.service.Object):
    @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        # The item names its bus name, or an object path on the sender's name. It may be waiting
        # for this answer, so its properties are read afterwards and without blocking.
        name, path = (sender, service) if service.startswith("/") else (service, "/StatusNotifierItem")
        item = dbus.SessionBus().get_object(name, path, introspect=False)
        found = {}

        def keep(prop, value):
            found[prop] = value
            if len(found) == 2:
                print(json.dumps({
                    "toolTipTitle": str(found["ToolTip"][2]),
                    "iconPixmap": [{"width": int(w), "argb": base64.b64encode(bytes(data)).decode()}
                                   for (w, h, data) in found["IconPixmap"]],
                }), flush=True)

        for prop in ("ToolTip", "IconPixmap"):
            item.Get("org.kde.StatusNotifierItem", prop, dbus_interface=dbus.PROPERTIES_IFACE,
                     reply_handler=lambda value, prop=prop: keep(prop, value),
                     error_handler=lambda error: print("error", error, flush=True))

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, prop):
        return dbus.Boolean(True)  # IsStatusNotifierHostRegistered, the one property Qt reads

    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, out_signature="s")
    def Introspect(self):
        return INTROSPECTION


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
watcher = Watcher(dbus.SessionBus(), "/StatusNotifierWatcher")
name = dbus.service.BusName(WATCHER, dbus.SessionBus(), do_not_queue=True)
print("ready", flush=True)
GLib.MainLoop().run()
