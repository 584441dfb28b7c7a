#!/usr/bin/python3
"""Drives ToneTuningTool the way a screen reader sees it: through AT-SPI.

    atspi_check.py PROGRAM EMULATOR [--timeout SECONDS]

Starts PROGRAM (the built or the installed executable, or a link to it) with the headset
emulator EMULATOR as its HID library and a home folder of its own, waits until the window
shows the headset view, finds the tabs, the preset buttons and the band sliders by their
accessible names, clicks the "Pop" stereo preset where AT-SPI says it is on screen, and
checks that the emulator's wire log shows the preset's equaliser upload: both halves of
SetPEQ carrying the band values of "Pop" from the preset file next to the program.

Needs an X display and a D-Bus session bus (xvfb-run, dbus-run-session); the AT-SPI bus
is started on demand by at-spi2-core. Exits 0 when everything was found and the upload
was seen; otherwise prints what was missing and exits 1.
"""

import argparse
import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, Gio, GLib  # noqa: E402

APP_NAME = "ToneTuningTool"
HEADSET_VIEW = "Headset connected"
TABS = ["7.1 Surround Sound (Gaming)", "Stereo Sound (Music)", "Mic ENC"]
STEREO_PRESETS = ["Pop", "Rock & Roll", "Deep Bass", "Jazz", "Classic", "Solvane Optimised"]
SURROUND_PRESETS = ["Deep Bass", "FPS", "MOBA", "Solvane Optimised"]
BANDS = ["30 Hz", "60 Hz", "120 Hz", "250 Hz", "500 Hz", "1 kHz", "2 kHz", "4 kHz", "8 kHz", "16 kHz"]
CLICKED_PRESET = "Pop"  # its band values differ from the presets applied at start-up

SET_PEQ = 0x21
COMMAND_BYTE = 4
PAYLOAD = 6
PEQ_FIRST_BAND = PAYLOAD + 1
PEQ_BAND_AREA = PAYLOAD + 4
BAND_RECORD = 5
GAIN_IN_RECORD = 4


class CheckFailed(Exception):
    pass


def pump_events():
    """Lets libatspi handle the events it has received.

    It keeps the desktop's list of programs and the states of controls in a cache that
    only its event handlers update, and those run in the GLib main loop.
    """
    context = GLib.MainContext.default()
    while context.pending():
        context.iteration(False)


def wait_for(what, condition, timeout, process=None):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        pump_events()
        value = condition()
        if value:
            return value
        if process is not None and process.poll() is not None:
            raise CheckFailed("the program ended (exit code %s) while waiting for %s" % (process.returncode, what))
        time.sleep(0.1)
    raise CheckFailed("timed out after %g s waiting for %s" % (timeout, what))


def descendants(node):
    stack = [node]
    while stack:
        current = stack.pop()
        yield current
        try:
            count = current.get_child_count()
        except gi.repository.GLib.Error:
            continue
        for i in range(count):
            child = current.get_child_at_index(i)
            if child is not None:
                stack.append(child)


def find_application():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_name() == APP_NAME:
            return app
    return None


def by_name(app):
    named = {}
    for node in descendants(app):
        name = node.get_name()
        if name:
            named.setdefault(name, []).append(node)
    return named


def showing(node):
    return node.get_state_set().contains(Atspi.StateType.SHOWING)


def click(node):
    """Clicks the middle of the control, as a pointer would."""
    extents = node.get_extents(Atspi.CoordType.SCREEN)
    if extents.width <= 0 or extents.height <= 0:
        raise CheckFailed("%r has no place on screen" % node.get_name())
    x = extents.x + extents.width // 2
    y = extents.y + extents.height // 2
    Atspi.generate_mouse_event(x, y, "b1c")


def wire_reports(path):
    reports = []
    try:
        with open(path, encoding="ascii", errors="replace") as log:
            for line in log:
                words = line.split()
                if len(words) >= 3 and words[1] == "OUT":
                    reports.append(bytes.fromhex("".join(words[2:])))
    except FileNotFoundError:
        pass
    return reports


def preset_gains(program_folder, name, sound_type):
    for path in glob.glob(os.path.join(program_folder, "**", "*.json"), recursive=True):
        with open(path, encoding="utf-8") as file:
            data = json.load(file)
        for mode in data.get("defaultMode", []):
            if mode.get("name") == name and mode.get("type") == sound_type:
                return mode["parameter"]
    raise CheckFailed("no preset %r of type %d below %s" % (name, sound_type, program_folder))


def uploaded_gains(report):
    """(first band, the five gains) of a SetPEQ request."""
    first = report[PEQ_FIRST_BAND]
    gains = []
    for i in range(5):
        gain = report[PEQ_BAND_AREA + i * BAND_RECORD + GAIN_IN_RECORD]
        gains.append(gain - 256 if gain > 127 else gain)
    return first, gains


def enable_accessibility():
    """What a screen reader does at its start: switch AT-SPI on for the session.

    Qt joins the accessibility bus once org.a11y.Bus is running and its IsEnabled status
    is true; in a bare D-Bus session nothing has started the bus yet, and setting the
    property starts it. Call it after starting the program: Qt 5.15 started while the bus
    is already up often connects to it without announcing itself to the registry (a
    five-line Qt program does the same here), whereas a bus that appears later is always
    joined properly, the way a screen reader started after the log-on programs is.
    """
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    bus.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
                  GLib.Variant("(ssv)", ("org.a11y.Status", "IsEnabled", GLib.Variant("b", True))),
                  None, Gio.DBusCallFlags.NONE, 10000, None)
    # Starts the registry, which the program announces itself to when it joins.
    Atspi.init()
    Atspi.get_desktop(0).get_child_count()


class RunningProgram:
    """The program started with the emulator in a home folder of its own."""

    def __init__(self, program, emulator):
        self.home = tempfile.mkdtemp(prefix="ttt-atspi-")
        self.wire = os.path.join(self.home, "wire.log")
        env = dict(os.environ)
        env.update({
            "HOME": self.home,
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "XDG_DATA_HOME": os.path.join(self.home, ".local", "share"),
            "TMPDIR": self.home,
            # The single-instance lock and socket live here: apart from any other run.
            "XDG_RUNTIME_DIR": self.home,
            "TONETUNINGTOOL_HID_LIBRARY": emulator,
            "HEADSET_EMULATOR_WIRE_LOG": self.wire,
            "HEADSET_EMULATOR_CONTROL": os.path.join(self.home, "control.sock"),
            "QT_QPA_PLATFORM": "xcb",
        })
        env.setdefault("ASAN_OPTIONS", "detect_leaks=0")
        os.makedirs(os.path.join(self.home, "Documents"))
        # Into a file, not a pipe: the program's traces would fill a pipe nobody reads and stall it.
        self.output_path = os.path.join(self.home, "output.txt")
        self.output_file = open(self.output_path, "wb")
        self.process = subprocess.Popen([program], env=env, stdout=self.output_file, stderr=subprocess.STDOUT)
        enable_accessibility()

    def wait_for_headset_view(self, timeout):
        app = wait_for("the program on the accessibility bus", find_application, timeout, self.process)
        return wait_for("the headset view",
                        lambda: (lambda n: n if any(showing(x) for x in n.get(HEADSET_VIEW, [])) else None)(
                            by_name(app)), timeout, self.process)

    def stop(self):
        """Ends the program and returns its output."""
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.output_file.close()
        with open(self.output_path, encoding="utf-8", errors="replace") as file:
            output = file.read()
        shutil.rmtree(self.home, ignore_errors=True)
        return output


def start_until_connected(program, emulator, timeout, tries=3):
    """Starts the program and waits for its headset view.

    On this shared machine a new Xvfb sometimes refuses the program's very first X
    connection; that says nothing about the program, so such a start is tried again.
    """
    for attempt in range(1, tries + 1):
        running = RunningProgram(program, emulator)
        try:
            return running, running.wait_for_headset_view(timeout)
        except CheckFailed:
            if running.process.poll() is None or attempt == tries:
                return running, None
            output = running.stop()
            if "could not connect to display" not in output:
                raise CheckFailed("the program ended at its start:\n" + output[-4000:])
            print("AT-SPI check: the X server refused the program's connection; starting it again",
                  file=sys.stderr)
    return None, None


def run(program, emulator, timeout):
    program_folder = os.path.dirname(os.path.realpath(program))
    expected = preset_gains(program_folder, "Pop", 1)
    running, named = start_until_connected(program, emulator, timeout)
    process = running.process
    wire = running.wire
    result = 1
    try:
        if named is None:
            named = running.wait_for_headset_view(1)

        missing = [tab for tab in TABS if tab not in named]
        missing += ["%s stereo preset" % p for p in STEREO_PRESETS if "%s stereo preset" % p not in named]
        missing += ["%s surround preset" % p for p in SURROUND_PRESETS if "%s surround preset" % p not in named]
        missing += ["%s equaliser %s" % (kind, band) for kind in ("Stereo", "Surround") for band in BANDS
                    if "%s equaliser %s" % (kind, band) not in named]
        if missing:
            raise CheckFailed("not found by name: " + ", ".join(missing))

        stereo_tab = [t for t in named["Stereo Sound (Music)"] if t.get_role() == Atspi.Role.PAGE_TAB]
        if not stereo_tab:
            raise CheckFailed("\"Stereo Sound (Music)\" is not a tab")
        click(stereo_tab[0])
        preset = named["%s stereo preset" % CLICKED_PRESET][0]
        wait_for("the Pop preset on screen", lambda: showing(preset), timeout, process)

        before = len(wire_reports(wire))
        click(preset)

        def upload_seen():
            halves = {}
            for report in wire_reports(wire)[before:]:
                if len(report) > PEQ_BAND_AREA + 25 and report[COMMAND_BYTE] == SET_PEQ:
                    first, gains = uploaded_gains(report)
                    halves[first] = gains
            return halves.get(0) == expected[0:5] and halves.get(5) == expected[5:10]

        wait_for("the Pop preset's SetPEQ upload (%s) on the wire" % expected, upload_seen, timeout, process)
        checked = preset.get_state_set().contains(Atspi.StateType.CHECKED)
        if not checked:
            raise CheckFailed("the Pop preset is not shown as selected after the click")
        print("AT-SPI check passed: %d tabs, %d presets and %d sliders found by name; "
              "clicking \"Pop\" uploaded %s" % (len(TABS), len(STEREO_PRESETS) + len(SURROUND_PRESETS),
                                                 2 * len(BANDS), expected))
        result = 0
    except CheckFailed as failure:
        print("AT-SPI check failed: %s" % failure, file=sys.stderr)
    finally:
        output = running.stop()
        if result != 0 or os.environ.get("TTT_ATSPI_VERBOSE"):
            sys.stderr.write("--- the program's output (last part):\n" + output[-4000:])
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("program")
    parser.add_argument("emulator")
    parser.add_argument("--timeout", type=float, default=30.0)
    args = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        sys.exit("atspi_check.py: no X display (run it under xvfb-run)")
    if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        sys.exit("atspi_check.py: no D-Bus session (run it under dbus-run-session)")
    sys.exit(run(os.path.abspath(args.program), os.path.abspath(args.emulator), args.timeout))


if __name__ == "__main__":
    main()
