#!/usr/bin/env python3
"""Checks the shape of the source tree: layers that only point down, and no program file too long.

Layers, lowest first: a file may include headers of its own folder and of the folders below it.
app/program_win.* and app/main_win.cpp put the program together and may include anything; nothing
else includes app/program_win.h.
"""
import pathlib
import re
import sys

LAYERS = ["common", "image", "archive", "app", "folder", "thumbs", "fileops", "ui"]
TOP = {"app/program_win.cpp", "app/program_win.h", "app/main_win.cpp"}
MAX_LINES = 1200
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/([^"]+)"')


def program_files(root):
    for layer in LAYERS:
        folder = root / layer
        if folder.is_dir():
            for path in sorted(folder.rglob("*")):
                if path.suffix in (".cpp", ".h"):
                    yield layer, path


def check(root):
    faults = []
    for layer, path in program_files(root):
        name = path.relative_to(root).as_posix()
        lines = path.read_text(encoding="utf-8", errors="replace").splitlines()
        if len(lines) > MAX_LINES:
            faults.append(f"{name}: {len(lines)} lines (at most {MAX_LINES})")
        if name in TOP:
            continue
        for number, line in enumerate(lines, 1):
            m = INCLUDE.match(line)
            if not m or m.group(1) not in LAYERS:
                continue
            target = m.group(1)
            if f"{target}/{m.group(2)}" == "app/program_win.h":
                faults.append(f"{name}:{number}: includes app/program_win.h, which only the top may")
            elif LAYERS.index(target) > LAYERS.index(layer):
                faults.append(f"{name}:{number}: {layer}/ includes {target}/{m.group(2)} from a layer above")
    return faults


def self_test():
    """The check finds each kind of fault in a small made-up tree, and nothing in a sound one."""
    import tempfile
    with tempfile.TemporaryDirectory() as tmp:
        root = pathlib.Path(tmp)
        files = {
            "common/a.h": '#include "common/b.h"\n',
            "folder/f.cpp": '#include "app/x.h"\n#include "image/y.h"\n',
            "app/program_win.cpp": '#include "ui/anything.h"\n',
            "app/main_win.cpp": '#include "app/program_win.h"\n',
        }
        for name, text in files.items():
            (root / name).parent.mkdir(parents=True, exist_ok=True)
            (root / name).write_text(text)
        if check(root):
            print("self-test: a sound tree was reported")
            return 1
        faulty = {
            "folder/up.cpp": '#include "thumbs/t.h"\n',
            "ui/top.cpp": '#include "app/program_win.h"\n',
            "image/long.cpp": "x\n" * (MAX_LINES + 1),
        }
        for name, text in faulty.items():
            (root / name).parent.mkdir(parents=True, exist_ok=True)
            (root / name).write_text(text)
        found = check(root)
        expected = ["folder/up.cpp:1:", "ui/top.cpp:1:", "image/long.cpp: 1201 lines"]
        if len(found) != 3 or not all(any(f.startswith(e) for f in found) for e in expected):
            print("self-test: expected three faults, got", found)
            return 1
    print("self-test passed")
    return 0


def main():
    if sys.argv[1:2] == ["--self-test"]:
        return self_test()
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    faults = check(root)
    for fault in faults:
        print(fault)
    print(f"{len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
