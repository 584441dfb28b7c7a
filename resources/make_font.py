#!/usr/bin/python3
"""Builds pic/MyriadProLight.OTF, the header font registered as "Myriad Pro Light".

The program asks for that family by name. We make it from Open Sans Light (Debian
package fonts-open-sans, Apache License 2.0, which allows modified copies under another
name): the glyphs are kept as they are, the font is cut down to Latin text to stay small,
and its names are changed so that it registers under the family the program asks for.
The licence and a note of the changes sit beside it in pic/MyriadProLight.LICENSE.txt.
"""

import os
import sys

from fontTools import subset
from fontTools.ttLib import TTFont

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = "/usr/share/fonts/truetype/open-sans/OpenSans-Light.ttf"
TARGET = os.path.join(HERE, "pic", "MyriadProLight.OTF")
LICENCE = os.path.join(HERE, "pic", "MyriadProLight.LICENSE.txt")
APACHE = "/usr/share/common-licenses/Apache-2.0"

FAMILY = "Myriad Pro Light"
CHANGES = ("Modified for ToneTuningTool from Open Sans Light 1.10: renamed to \"Myriad Pro Light\" "
           "and reduced to the Latin-1 character set.")

# Latin-1 and the punctuation an English label may use.
UNICODES = list(range(0x20, 0x7F)) + list(range(0xA0, 0x100)) + [
    0x2013, 0x2014, 0x2018, 0x2019, 0x201A, 0x201C, 0x201D, 0x201E, 0x2022, 0x2026, 0x20AC, 0x2122]


def main():
    # The source's own time stamp is kept, so that regenerating gives the same bytes.
    font = TTFont(SOURCE, recalcTimestamp=False)
    options = subset.Options()
    options.layout_features = ["*"]
    options.name_IDs = ["*"]
    options.name_languages = ["*"]
    options.notdef_outline = True
    subsetter = subset.Subsetter(options)
    subsetter.populate(unicodes=UNICODES)
    subsetter.subset(font)

    # A signature would no longer match the changed tables.
    if "DSIG" in font:
        del font["DSIG"]

    names = font["name"]
    for record in list(names.names):
        if record.nameID in (16, 17):
            names.removeNames(nameID=record.nameID)
    for platform, encoding, language in ((1, 0, 0), (3, 1, 0x409)):
        names.setName(FAMILY, 1, platform, encoding, language)
        names.setName("Regular", 2, platform, encoding, language)
        names.setName("ToneTuningTool: " + FAMILY, 3, platform, encoding, language)
        names.setName(FAMILY, 4, platform, encoding, language)
        names.setName("MyriadProLight", 6, platform, encoding, language)
        names.setName(CHANGES, 10, platform, encoding, language)
    font.save(TARGET)

    with open(APACHE, encoding="utf-8") as f:
        apache = f.read()
    with open(LICENCE, "w", encoding="utf-8") as f:
        f.write("MyriadProLight.OTF\n\n"
                "This font is Open Sans Light by Steve Matteson (Ascender Corporation),\n"
                "Digitized data copyright (c) 2010-2011, Google Corporation,\n"
                "taken from Debian's fonts-open-sans package (version 1.11) and licensed under\n"
                "the Apache License, Version 2.0 (full text below).\n\n"
                "Changes (made by resources/make_font.py): the family is renamed to\n"
                "\"Myriad Pro Light\", because that is the family name ToneTuningTool asks for,\n"
                "and the character set is reduced to Latin-1 and common punctuation.\n"
                "The glyph outlines are unchanged. It is not Adobe's Myriad Pro.\n"
                "Open Sans is a trademark of Google and may be registered in certain jurisdictions.\n\n"
                "------------------------------------------------------------------------------\n\n")
        f.write(apache)
    print("%s: %d bytes" % (TARGET, os.path.getsize(TARGET)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
