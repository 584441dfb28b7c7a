#!/usr/bin/python3
"""Writes the application font next to the program: extract_cjk_font.py COLLECTION OUTPUT

Debian ships Source Han Sans as Noto Sans CJK, one collection file holding the Japanese,
Korean, Simplified and Traditional Chinese faces. The program loads one font file and
takes its first family, so the Simplified Chinese face (the "CN" one the program's file
name asks for) is taken out of the collection on its own; otherwise Chinese text would
be drawn with the Japanese forms of the first face. The tables are copied unchanged.
"""

import sys

from fontTools.ttLib import TTCollection

WANTED = "Noto Sans CJK SC"


def main(collection_path, output_path):
    collection = TTCollection(collection_path, lazy=True)
    faces = collection.fonts
    chosen = next((f for f in faces if f["name"].getDebugName(1) == WANTED), faces[0])
    chosen.save(output_path)
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__.splitlines()[0])
    sys.exit(main(sys.argv[1], sys.argv[2]))
