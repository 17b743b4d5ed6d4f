#!/usr/bin/env python3
"""Writes the plug-in modules' test files into OUT, with the outside tools the tests compare against.

  make_fixtures.py OUT LIBWEBP_SOURCE

WebP: libwebp's own test picture (examples/test.webp) and pictures written here as PNM and encoded with cwebp (lossless,
lossy and lossless with alpha, an odd width so rows need padding); beside each NAME.webp its reference
decode NAME.pam from dwebp (RGBA, not premultiplied). Archives: the same three photograph-like JPEGs
(written here, encoded by ImageMagick's convert, kept as photo*.jpg) packed by 7z, gcab and Python's tarfile (plain, gzip,
xz); tarfile also writes the archive with hostile and awkward member names.
"""
import gzip
import io
import os
import pathlib
import random
import shutil
import subprocess
import sys
import tarfile


def photo(width, height, seed, alpha=False):
    """Smooth gradients, a few soft discs and seeded noise, as PPM (or PAM with an alpha ramp that is
    0 in the top rows): compresses like a photograph."""
    rnd = random.Random(seed)
    a, b, c = (rnd.randrange(256) for _ in range(3))
    discs = [(rnd.randrange(width), rnd.randrange(height), rnd.randrange(4, width // 3),
              tuple(rnd.randrange(256) for _ in range(3))) for _ in range(5)]
    px = bytearray()
    for y in range(height):
        for x in range(width):
            n = rnd.randrange(-12, 13)
            rgb = ((a + x * 200 // width + n) % 256, (b + y * 180 // height + n) % 256,
                   (c + (x + y) * 90 // (width + height) + n) % 256)
            for cx, cy, r, colour in discs:
                if (x - cx) ** 2 + (y - cy) ** 2 < r * r:
                    rgb = colour
            px += bytes(rgb)
            if alpha:
                px.append(0 if y < height // 6 else x * 255 // (width - 1))
    if alpha:
        head = f"P7\nWIDTH {width}\nHEIGHT {height}\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n"
    else:
        head = f"P6\n{width} {height}\n255\n"
    return head.encode() + bytes(px)


def run(*args, **kw):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, **kw)


def webp(out, source):
    run("cp", str(source / "examples" / "test.webp"), str(out / "libwebp_test.webp"))
    (out / "odd.ppm").write_bytes(photo(203, 101, 7))
    (out / "alpha.pam").write_bytes(photo(160, 120, 11, alpha=True))
    run("cwebp", "-quiet", "-lossless", str(out / "odd.ppm"), "-o", str(out / "lossless_odd.webp"))
    run("cwebp", "-quiet", "-q", "75", str(out / "odd.ppm"), "-o", str(out / "lossy_odd.webp"))
    run("cwebp", "-quiet", "-lossless", str(out / "alpha.pam"), "-o", str(out / "alpha_lossless.webp"))
    run("cwebp", "-quiet", "-q", "70", "-alpha_q", "90", str(out / "alpha.pam"), "-o", str(out / "alpha_lossy.webp"))
    for name in ("libwebp_test", "lossless_odd", "lossy_odd", "alpha_lossless", "alpha_lossy"):
        run("dwebp", "-quiet", str(out / f"{name}.webp"), "-pam", "-o", str(out / f"{name}.pam"))
    data = (out / "lossy_odd.webp").read_bytes()
    (out / "truncated.webp").write_bytes(data[: len(data) // 2])


def archives(out):
    stage = out / "stage"
    shutil.rmtree(stage, ignore_errors=True)
    (stage / "trip" / "day 2").mkdir(parents=True)
    names = ["photo1.jpg", "trip/photo2.jpg", "trip/day 2/photo3.jpg"]
    for i, name in enumerate(names):
        (out / "photo.ppm").write_bytes(photo(320 + 16 * i, 240, 100 + i))
        run("convert", str(out / "photo.ppm"), "-quality", "85", str(out / f"photo{i + 1}.jpg"))
        shutil.copyfile(out / f"photo{i + 1}.jpg", stage / name)
    (out / "photo.ppm").unlink()
    for ext in ("7z", "cab", "tar", "tar.gz", "tar.xz"):
        (out / f"photos.{ext}").unlink(missing_ok=True)
    run("7z", "a", "-bd", "-mx=5", str(out / "photos.7z"), *names, cwd=stage)
    run("gcab", "-c", "-z", str(out / "photos.cab"), *names, cwd=stage)
    for mode, ext in (("w", "tar"), ("w:gz", "tar.gz"), ("w:xz", "tar.xz")):
        with tarfile.open(out / f"photos.{ext}", mode, format=tarfile.PAX_FORMAT) as tar:
            tar.add(stage / "trip", arcname="trip", recursive=False)
            for name in names:
                tar.add(stage / name, arcname=name)
    shutil.rmtree(stage)
    with gzip.open(out / "notar.gz", "wb") as gz:
        gz.write((out / "photo1.jpg").read_bytes())

    def add(tar, name, data=b"x", kind=tarfile.REGTYPE, link=""):
        info = tarfile.TarInfo(name)
        info.type, info.linkname, info.size, info.mtime = kind, link, len(data) if kind == tarfile.REGTYPE else 0, 1_600_000_000
        tar.addfile(info, io.BytesIO(data) if kind == tarfile.REGTYPE else None)

    with tarfile.open(out / "awkward.tar", "w", format=tarfile.PAX_FORMAT) as tar:
        add(tar, "../escape.txt", b"up")                 # 0
        add(tar, "/abs/root.txt", b"abs")                # 1
        add(tar, "CON.txt", b"device")                   # 2
        add(tar, "d/" * 110 + "deep.txt", b"deep")       # 3: folder over 200 bytes
        add(tar, "n" * 220 + ".txt", b"long")            # 4: name over 200 bytes
        add(tar, "link", kind=tarfile.SYMTYPE, link="photo.jpg")  # 5
        add(tar, "hard", kind=tarfile.LNKTYPE, link="ok.txt")     # 6
        add(tar, "dir/", kind=tarfile.DIRTYPE)           # 7
        add(tar, "./ok.txt", b"fine")                    # 8
        add(tar, "empty.txt", b"")                       # 9


def main():
    out, source = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    out.mkdir(parents=True, exist_ok=True)
    webp(out, source)
    archives(out)
    (out / ".written").touch()


if __name__ == "__main__":
    main()
