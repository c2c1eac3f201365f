#!/usr/bin/env python3
"""A system prompter that takes the keyring's unlock prompt and never shows
or answers it: a desktop where the user walks away from the dialog. Owns
org.gnome.keyring.SystemPrompter on the session bus, prints "READY" once it
does, and keeps every call it gets waiting until it is killed."""
import sys

from gi.repository import Gio, GLib

XML = """<node><interface name="org.gnome.keyring.internal.Prompter">
  <method name="BeginPrompting"><arg type="o" direction="in"/></method>
  <method name="PerformPrompt"><arg type="o" direction="in"/><arg type="s" direction="in"/>
    <arg type="a{sv}" direction="in"/><arg type="s" direction="in"/></method>
  <method name="StopPrompting"><arg type="o" direction="in"/></method>
</interface></node>"""

waiting = []  # the invocations never answered


def on_call(conn, sender, path, iface, method, params, invocation):
    sys.stderr.write("stalled prompter: %s\n" % method)
    if method in ("StopPrompting", "BeginPrompting"):
        invocation.return_value(None)
    else:
        waiting.append(invocation)


def on_bus(conn, name):
    node = Gio.DBusNodeInfo.new_for_xml(XML)
    conn.register_object("/org/gnome/keyring/Prompter", node.interfaces[0], on_call, None, None)


def on_name(conn, name):
    print("READY", flush=True)


def on_lost(conn, name):
    sys.exit("stalled prompter: cannot own " + name)


Gio.bus_own_name(Gio.BusType.SESSION, "org.gnome.keyring.SystemPrompter",
                 Gio.BusNameOwnerFlags.NONE, on_bus, on_name, on_lost)
GLib.MainLoop().run()
