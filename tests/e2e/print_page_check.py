#!/usr/bin/env python3
"""Renders the PDFs print_e2e_test kept (pdftoppm, 300 dpi, grey) and finds on each page every
picture where the layout put it, within 2 pixels, with something dark on its name's line; the cells
left empty on a page stay white.
   print_page_check.py SCREENSHOT_FOLDER"""
import subprocess
import sys
import tempfile
from pathlib import Path

from PIL import Image

DPI = 300
TOLERANCE = 2  # pixels at 300 dpi
SEARCH = 4     # how far past the expected edges a picture is looked for (less than the gap to its name)
INK = 235      # darker than this is not paper
DARK = 128     # the name's letters


def expectations(path):
    """(dpiX, dpiY) and per page a list of (kind, picture rect, name rect) in device pixels."""
    dpi, pages = None, []
    for line in path.read_text().splitlines():
        words = line.split()
        if words[0] == "dpi":
            dpi = (int(words[1]), int(words[2]))
        elif words[0] == "page":
            pages.append([])
        else:
            numbers = [int(w) for w in words[1:]]
            pages[-1].append((words[0], numbers[:4], numbers[4:]))
    return dpi, pages


def scaled(rect, dpi):
    left, top, width, height = rect
    sx, sy = DPI / dpi[0], DPI / dpi[1]
    return round(left * sx), round(top * sy), round((left + width) * sx), round((top + height) * sy)


def ink_box(page, box, threshold):
    """Bounding box of the pixels darker than `threshold` inside `box`, in page coordinates."""
    region = page.crop(box).point(lambda v: 255 if v < threshold else 0)
    found = region.getbbox()
    if not found:
        return None
    return found[0] + box[0], found[1] + box[1], found[2] + box[0], found[3] + box[1]


def check_page(page, cells, dpi, where):
    faults = []
    for index, (kind, picture, name) in enumerate(cells):
        expected = scaled(picture, dpi)
        line = scaled(name, dpi)
        if kind == "blank":
            for box in (expected, line):
                inner = (box[0] + TOLERANCE, box[1] + TOLERANCE, box[2] - TOLERANCE, box[3] - TOLERANCE)
                if ink_box(page, inner, INK):
                    faults.append(f"{where} cell {index}: should be empty")
            continue
        search = (expected[0] - SEARCH, expected[1] - SEARCH, expected[2] + SEARCH, expected[3] + SEARCH)
        found = ink_box(page, search, INK)
        if not found:
            faults.append(f"{where} cell {index}: no picture near {expected}")
        elif max(abs(a - b) for a, b in zip(found, expected)) > TOLERANCE:
            faults.append(f"{where} cell {index}: picture at {found}, the layout says {expected}")
        if not ink_box(page, line, DARK):
            faults.append(f"{where} cell {index}: nothing dark on the name's line {line}")
    return faults


def main():
    folder = Path(sys.argv[1])
    faults = []
    for job in ("print_all", "print_selected"):
        pdf, txt = folder / f"{job}.pdf", folder / f"{job}.txt"
        if not pdf.exists() or not txt.exists():
            faults.append(f"{pdf} is missing: the print test did not finish")
            continue
        dpi, pages = expectations(txt)
        with tempfile.TemporaryDirectory() as tmp:
            subprocess.run(["pdftoppm", "-r", str(DPI), "-gray", str(pdf), f"{tmp}/p"], check=True, timeout=120)
            rendered = sorted(Path(tmp).glob("p-*.pgm"))
            if len(rendered) != len(pages):
                faults.append(f"{job}: {len(rendered)} pages rendered, {len(pages)} expected")
                continue
            for number, (file, cells) in enumerate(zip(rendered, pages), 1):
                with Image.open(file) as page:
                    faults += check_page(page.convert("L"), cells, dpi, f"{job} page {number}")
    if faults:
        sys.exit("\n".join(faults))
    print("every picture lies where the layout puts it")


main()
