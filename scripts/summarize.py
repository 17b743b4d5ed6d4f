#!/usr/bin/env python3
"""Prints the suite's summary line from the test results of the build trees named on the command line.

Each GoogleTest executable leaves test-results/<name>.xml with one entry per test case; a CTest test
without such a file (fuzz runs, scripts) counts as one case. A test executable that failed in CTest but
whose cases all passed (a crash at exit, a sanitizer report, a timeout) counts as one more failure.
"""
import os
import re
import sys
import xml.etree.ElementTree as ET


def gtest_counts(root):
    total = int(root.get("tests", 0)) - int(root.get("disabled", 0))
    failed = int(root.get("failures", 0)) + int(root.get("errors", 0))
    skipped = sum(1 for tc in root.iter("testcase") if tc.find("skipped") is not None)
    return total - failed - skipped, failed


def failed_cases(root, lines_each=6):
    """The failed cases of one GoogleTest result with the first lines of each failure, so that a run
    whose full log is gone (CI keeps only the end) still says what went wrong."""
    out = []
    for tc in root.iter("testcase"):
        for failure in tc.findall("failure"):
            text = (failure.get("message") or failure.text or "").strip().splitlines()
            out.append(f"  {tc.get('classname')}.{tc.get('name')}")
            out.extend(f"    {line[:200]}" for line in text[:lines_each])
    return out


def output_tail(tree, name, lines=8):
    """The last lines CTest printed for a failed test (--output-on-failure), for a failure that left no
    failed case behind: a crash, a timeout, a sanitizer report."""
    try:
        with open(os.path.join(tree, "ctest.log"), errors="replace") as f:
            log = f.read().splitlines()
    except OSError:
        return []
    head = re.compile(r"Test +#\d+: " + re.escape(name) + r" \.*\*\*\*")
    stop = re.compile(r"^\s*(Start +\d+:|\d+/\d+ Test +#)|tests passed")
    for i, line in enumerate(log):
        if head.search(line):
            block = []
            for later in log[i + 1:]:
                if stop.search(later):
                    break
                block.append(later)
            return [f"    {b[:200]}" for b in block[-lines:]]
    return []


def failure_details(tree, name, root):
    """Lines under a failed test's name: its failed cases, else (a crash, a timeout, no readable
    result) the end of its output."""
    return (failed_cases(root) if root is not None else []) or output_tail(tree, name)


def main(args):
    failed_builds = 0
    if len(args) >= 2 and args[0] == "--failed-builds":
        failed_builds = int(args[1])
        args = args[2:]
    trees = args
    passed = 0
    failed = failed_builds
    failures = [(f"{failed_builds} build(s) failed", [])] if failed_builds else []  # (what, detail lines)
    for tree in trees:
        results = os.path.join(tree, "test-results")
        junit = os.path.join(results, "ctest.xml")
        if not os.path.exists(junit):
            failed += 1
            failures.append((f"{os.path.basename(tree)}: no test results", []))
            continue
        for case in ET.parse(junit).getroot().iter("testcase"):
            name = case.get("name")
            ok = case.get("status") in ("run", "pass", "passed") and case.find("failure") is None
            xml = os.path.join(results, f"{name}.xml")
            if os.path.exists(xml):
                try:
                    root = ET.parse(xml).getroot()
                    p, f = gtest_counts(root)
                except ET.ParseError:
                    root, p, f = None, 0, 1
                passed += p
                failed += f
                if not ok and f == 0:
                    failed += 1
                if not ok or f:
                    failures.append((f"{os.path.basename(tree)}/{name}", failure_details(tree, name, root)))
            elif ok:
                passed += 1
            else:
                failed += 1
                failures.append((f"{os.path.basename(tree)}/{name}", failure_details(tree, name, None)))
    for what, details in failures:
        print(f"failed: {what}")
        for line in details:
            print(line)
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
