#!/usr/bin/env python3
"""Runs a ctest preset once. Nothing is run again: any failed test fails the run. A failure
whose output shows a known fault of Wine's is named as such in the summary, so that it is not
taken for the program's:

- Wine's start-up failure: a new Wine process exits before it has started anything. Wine's
  preloader removes its cause (scripts/deps.sh says how); it is named in case it comes back. A
  Windows parent sees it as CreateProcessW error 1359; ctest sees a test that failed with no
  output at all in a few hundredths of a second, less than Wine needs to start any program here
  (and every test binary prints before it does anything).
- Wine's COM deadlock in a process serving another process's calls (a released stub's
  RpcServerUnregisterIf loses its wake-up; tests/soak/PlatformDeadlock.h). The test bed's graph
  manager keeps the program out of it (testbed/graphpersist/InterfacePins.h).

Usage: ctest-run.py <test preset> [ctest arguments...]
"""
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

# What a failed start prints: the tests that start a process themselves write
# "CreateProcessW failed, error 1359"; a launch by the product (GraphEdit from "Show graph")
# comes back as HRESULT_FROM_WIN32(ERROR_INTERNAL_ERROR), printed in hex.
LAUNCH_ERROR = re.compile(r"CreateProcessW failed, error 1359\b|0x8007054F\b", re.IGNORECASE)
# A whole test launch takes 0.11 s at the least here; a silent one took 0.01 to 0.02 s.
SILENT_LAUNCH_SECONDS = 0.1
# What the soak prints when the program it drives, or soak_remote, stopped in that deadlock.
COM_DEADLOCK = re.compile(r"^platform deadlock: .*RpcServerUnregisterIf", re.MULTILINE)


def platform_fault(output, seconds):
    """The name of the platform fault a failed test's output and time show, or None."""
    if LAUNCH_ERROR.search(output):
        return "Wine's start-up failure: CreateProcessW error 1359"
    if not output.strip() and seconds < SILENT_LAUNCH_SECONDS:
        return f"Wine's start-up failure: no output, {seconds:.2f} s"
    if COM_DEADLOCK.search(output):
        return "Wine's COM deadlock in RpcServerUnregisterIf"
    return None


def failed_tests(junit):
    """(name, output, seconds) of every test that ran and failed, from ctest's JUnit file."""
    if not os.path.exists(junit):
        return []
    failed = []
    for case in ET.parse(junit).getroot().iter("testcase"):
        if case.get("status") == "fail" or case.find("failure") is not None:
            failed.append((case.get("name"), case.findtext("system-out") or "", float(case.get("time", "0"))))
    return failed


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    preset, args = sys.argv[1], sys.argv[2:]
    with tempfile.TemporaryDirectory() as tmp:
        junit = os.path.join(tmp, "all.xml")
        code = subprocess.run(["ctest", "--preset", preset, "--output-junit", junit] + args).returncode
        failed = failed_tests(junit)
    if code != 0 and not failed:
        print(f"ctest-run: ctest --preset {preset} failed (exit {code}) before any test failed")
        return 1
    if not failed:
        return 0
    names = []
    for name, output, seconds in failed:
        fault = platform_fault(output, seconds)
        names.append(name + (f" ({fault})" if fault else ""))
    print(f"[{preset}] failed: " + ", ".join(names))
    return 1


if __name__ == "__main__":
    sys.exit(main())
