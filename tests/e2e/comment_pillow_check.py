#!/usr/bin/env python3
"""Reads the picture whose comment the program edited (left by fileops_e2e_test) with Pillow, a
reader that is not ours: the comment must be there and every pixel as before the edit.
   comment_pillow_check.py SCREENSHOT_FOLDER"""
import sys
from pathlib import Path

from PIL import Image

folder = Path(sys.argv[1])
before, after = folder / "comment_before.jpg", folder / "comment_after.jpg"
if not after.exists():
    sys.exit(f"{after} is missing: the comment test did not finish")
with Image.open(after) as edited, Image.open(before) as original:
    comments = [data for marker, data in edited.applist if marker == "COM"]
    if comments != [b"Evening at the lake\nJuly"]:
        sys.exit(f"comment segments read by Pillow: {comments!r}")
    if original.size != edited.size or original.tobytes() != edited.tobytes():
        sys.exit("the pixels changed")
print("Pillow reads the comment and the pixels are unchanged")
