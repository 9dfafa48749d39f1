#!/usr/bin/python3
"""Checks the skins drawn by make-skins as the player will read them: every file the player
asks for exists and loads, buttons are not all transparent, and the [PLAYPOSITION] layout
fits inside the dialog background. Usage: check_skins.py SKIN_ROOT"""
import configparser
import os
import re
import sys

from PIL import Image

KEY = (255, 0, 255)
FILES = ["theme.ini", "Dialog-d.bmp", "dialog-p.bmp", "thumb-p.bmp", "listhead.bmp", "scope.bmp",
         "style1.bmp", "style2.bmp", "style3.bmp"]
for stem in ("prev", "next", "open"):
    FILES += ["%s_normal.bmp" % stem, "%s_click.bmp" % stem, "%s_disable.bmp" % stem]
for stem in ("play", "stop", "pause"):
    FILES += ["%s_normal_p.bmp" % stem, "%s_click_p.bmp" % stem, "%s_disable_p.bmp" % stem]
POINTS = ["DISPLAY1", "DISPLAY2", "SLIDER1", "SLIDER2", "PREVBUTTON", "PLAYBUTTON", "STOPBUTTON",
          "PAUSEBUTTON", "NEXTBUTTON", "ADDBUTTON", "LIST1", "LIST2", "STYLEBUTTON"]
failures = []


def fail(msg):
    failures.append(msg)


def key_share(img):
    pixels = list(img.convert("RGB").getdata())
    return sum(p == KEY for p in pixels) / len(pixels)


def check_skin(folder):
    name = os.path.basename(folder)
    for f in FILES:
        if not os.path.isfile(os.path.join(folder, f)):
            fail("%s: %s missing" % (name, f))
    ini = configparser.ConfigParser(strict=False, interpolation=None)
    ini.optionxform = str
    ini.read(os.path.join(folder, "theme.ini"))
    pers = ini["Personality"]
    for edge in ("Top", "Left", "Right", "Bottom"):
        img = Image.open(os.path.join(folder, pers[edge]))
        w, h = img.size
        if edge in ("Top", "Bottom") and h % 2:
            fail("%s: %s holds two stacked states, its height must be even" % (name, edge))
        if edge in ("Left", "Right") and w % 2:
            fail("%s: %s holds two states side by side, its width must be even" % (name, edge))
    for i in range(int(pers["ButtonCount"])):
        img = Image.open(os.path.join(folder, ini["Button%d" % i]["ButtonImage"]))
        if img.size[0] % int(pers["ButtonImgCount"]):
            fail("%s: Button%d image is not %s equal states" % (name, i, pers["ButtonImgCount"]))
        if key_share(img) > 0.5:
            fail("%s: Button%d image is mostly transparent" % (name, i))
    for f in FILES[1:]:
        if f.endswith(".bmp") and key_share(Image.open(os.path.join(folder, f))) > 0.5:
            fail("%s: %s is mostly transparent" % (name, f))
    width, height = Image.open(os.path.join(folder, "dialog-p.bmp")).size
    layout = ini["PLAYPOSITION"]
    for key in POINTS:
        m = re.fullmatch(r"\((\d+),(\d+)\)", layout.get(key, ""))
        if not m:
            fail("%s: %s is not a point" % (name, key))
        elif int(m.group(1)) > width or int(m.group(2)) > height:
            fail("%s: %s lies outside the %dx%d background" % (name, key, width, height))


def main():
    root = sys.argv[1]
    skins = sorted(d for d in os.listdir(root) if os.path.isdir(os.path.join(root, d)))
    if len(skins) < 3:
        fail("expected at least three skins, found %s" % skins)
    for skin in skins:
        check_skin(os.path.join(root, skin))
    for f in failures:
        print("FAIL:", f)
    print("%d skins checked, %d problems" % (len(skins), len(failures)))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
