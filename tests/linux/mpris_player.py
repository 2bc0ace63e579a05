#!/usr/bin/python3
# A small MPRIS player for the helper's tests, misbehaving on purpose:
#   mpris_player.py NAME wrong-types   publishes properties of the wrong types, again on every "Next"
#   mpris_player.py NAME art URL       plays a well-formed track whose artwork is at URL; asked for
#                                      its position, it never answers
#   mpris_player.py NAME hang          owns its name but never answers a call
import sys
import time

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

PLAYER = "org.mpris.MediaPlayer2.Player"
ROOT = "org.mpris.MediaPlayer2"
PROPS = "org.freedesktop.DBus.Properties"

name, mode = sys.argv[1], sys.argv[2]
DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()

if mode == "hang":
    bus.request_name("org.mpris.MediaPlayer2." + name)
    # The connection stays open, no loop ever reads from it: every call to it goes unanswered.
    while True:
        time.sleep(3600)


def good_track(art):
    return dbus.Dictionary({
        "mpris:trackid": dbus.ObjectPath("/org/example/track/1"),
        "xesam:title": "Drawn",
        "xesam:artist": dbus.Array(["Art Ist"], signature="s"),
        "mpris:length": dbus.Int64(90_000_000),
        "mpris:artUrl": art,
    }, signature="sv")


def wrong_track(n):
    return dbus.Dictionary({
        "mpris:trackid": dbus.Int32(5),
        "xesam:title": dbus.Array([dbus.Byte(65)], signature="y"),
        "xesam:artist": dbus.Int32(n),
        "xesam:album": "Kept Album %d" % n,
        "mpris:length": "long",
        "mpris:artUrl": dbus.Array([], signature="s"),
    }, signature="sv")


class Player(dbus.service.Object):
    def __init__(self):
        super().__init__(bus, "/org/mpris/MediaPlayer2")
        self.n = 0
        if mode == "wrong-types":
            self.props = {
                "PlaybackStatus": dbus.Int32(1), "Metadata": wrong_track(0), "Rate": "fast",
                "CanGoNext": "yes", "CanGoPrevious": dbus.Boolean(True), "CanSeek": dbus.Boolean(False),
                "CanControl": dbus.Boolean(True), "Position": "here"}
        else:
            self.props = {
                "PlaybackStatus": "Playing", "Metadata": good_track(sys.argv[3]), "Rate": 1.0,
                "CanGoNext": dbus.Boolean(True), "CanGoPrevious": dbus.Boolean(True),
                "CanSeek": dbus.Boolean(True), "CanControl": dbus.Boolean(True), "Position": dbus.Int64(0)}
        self.root = {"Identity": "Test Player", "DesktopEntry": name}

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v", async_callbacks=("reply", "error"))
    def Get(self, interface, prop, reply, error):
        if prop == "Position" and mode == "art":
            return  # asked for its position, it never answers
        reply((self.props if interface == PLAYER else self.root)[prop])

    @dbus.service.method(PROPS, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return dbus.Dictionary(self.props if interface == PLAYER else self.root, signature="sv")

    @dbus.service.method(PROPS, in_signature="ssv")
    def Set(self, interface, prop, value):
        pass

    @dbus.service.signal(PROPS, signature="sa{sv}as")
    def PropertiesChanged(self, interface, changed, invalidated):
        pass

    @dbus.service.method(PLAYER)
    def Next(self):
        self.n += 1
        if mode == "wrong-types":
            self.props["Metadata"] = wrong_track(self.n)
        self.PropertiesChanged(PLAYER, {"Metadata": self.props["Metadata"], "PlaybackStatus": self.props["PlaybackStatus"]}, [])

    @dbus.service.method(PLAYER)
    def PlayPause(self):
        pass


player = Player()
bus.request_name("org.mpris.MediaPlayer2." + name)
GLib.MainLoop().run()
