#!/usr/bin/python3
"""Takes the screenshots that the AppStream metainfo names: screenshots.py PROGRAM EMULATOR FOLDER

Runs the program with the headset emulator (see tests/accessibility/atspi_check.py, whose
helpers it uses), waits for the headset view and saves the window on the stereo tab as
FOLDER/stereo.png and on the surround tab as FOLDER/surround.png. Needs an X display, a
D-Bus session and ImageMagick's import; scripts/screenshots provides all three.
"""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "accessibility"))
import atspi_check as ui  # noqa: E402

SHOTS = [("stereo.png", "Stereo Sound (Music)", "Pop stereo preset"),
         ("surround.png", "7.1 Surround Sound (Gaming)", "FPS surround preset")]


def window_extents(named):
    view = [n for n in named[ui.HEADSET_VIEW] if ui.showing(n)][0]
    node = view
    while node.get_parent() is not None and node.get_role() != ui.Atspi.Role.FRAME:
        node = node.get_parent()
    return node.get_extents(ui.Atspi.CoordType.SCREEN)


def main():
    program, emulator, folder = sys.argv[1:4]
    os.makedirs(folder, exist_ok=True)
    running = ui.RunningProgram(os.path.abspath(program), os.path.abspath(emulator))
    try:
        named = running.wait_for_headset_view(60)
        box = window_extents(named)
        for file_name, tab, preset in SHOTS:
            ui.click([t for t in named[tab] if t.get_role() == ui.Atspi.Role.PAGE_TAB][0])
            target = named[preset][0]
            ui.wait_for(preset, lambda: ui.showing(target), 30, running.process)
            ui.click(target)
            time.sleep(2)  # let the curve, the sliders and the spectrum settle for the picture
            path = os.path.join(folder, file_name)
            subprocess.run(["import", "-window", "root", "-crop",
                            "%dx%d+%d+%d" % (box.width, box.height, box.x, box.y), "+repage", path], check=True)
            print("saved", path)
    finally:
        running.stop()


if __name__ == "__main__":
    main()
