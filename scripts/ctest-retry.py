#!/usr/bin/env python3
"""Runs a ctest preset once; reruns a failed test once only when its output shows a fault of
Wine's own.

Wine 8 now and then fails CreateProcessW with ERROR_INTERNAL_ERROR (1359) for no reason of
ours: the new process ends before Wine has started it. ctest's own launch of a test binary
fails now and then too: the test fails with no output at all, over in a few hundredths of a
second, less than Wine needs to start any program here (and every test binary prints before it
does anything), so none of the test's code ran. A test that shows either is run once more on
its own; any other failure, or a second failure of the same test, fails the run. Every retry is
printed with the test's name and the fault, and the summary counts them.

Wine's COM runtime can also deadlock a process serving another process's calls (a released
stub's RpcServerUnregisterIf loses its wake-up; tests/soak/PlatformDeadlock.h). The test bed's
graph manager keeps the program out of it (testbed/graphpersist/InterfacePins.h), so it is not
retried: a failure that shows it is named in the summary and fails the run.

Usage: ctest-retry.py <test preset> [ctest arguments...]
LT_TEST_RETRY=0 in the environment turns the retry off (for measuring flakiness).
"""
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

# What a failed launch prints: the tests that start a process themselves write
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
        return "CreateProcessW error 1359"
    if not output.strip() and seconds < SILENT_LAUNCH_SECONDS:
        return f"Wine started no test binary: no output, {seconds:.2f} s"
    return None


def run_ctest(preset, args, junit):
    command = ["ctest", "--preset", preset, "--output-junit", junit] + args
    return subprocess.run(command).returncode


def failed_tests(junit):
    """(name, output, seconds) of every test that ran and failed, from ctest's JUnit file."""
    if not os.path.exists(junit):
        return []
    failed = []
    for case in ET.parse(junit).getroot().iter("testcase"):
        if case.get("status") == "fail" or case.find("failure") is not None:
            failed.append((case.get("name"), case.findtext("system-out") or "", float(case.get("time", "0"))))
    return failed


def passed(junit, name):
    """Whether the JUnit file records this test as run and passed."""
    if not os.path.exists(junit):
        return False
    return any(case.get("name") == name and case.get("status") == "run" and case.find("failure") is None
               for case in ET.parse(junit).getroot().iter("testcase"))


def exact_name(name):
    """A ctest -R expression matching exactly this test name (CMake's regex syntax)."""
    return "^" + re.sub(r"([\\.^$*+?()\[\]|])", r"\\\1", name) + "$"


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    preset, args = sys.argv[1], sys.argv[2:]
    retry = os.environ.get("LT_TEST_RETRY", "1") != "0"
    with tempfile.TemporaryDirectory() as tmp:
        junit = os.path.join(tmp, "all.xml")
        code = run_ctest(preset, args, junit)
        failed = failed_tests(junit)
        if code != 0 and not failed:
            print(f"ctest-retry: ctest --preset {preset} failed (exit {code}) before any test failed")
            return 1
        retried, failures = [], []
        for name, output, seconds in failed:
            fault = platform_fault(output, seconds)
            if not retry or not fault:
                if not fault and COM_DEADLOCK.search(output):
                    fault = "Wine's COM deadlock in RpcServerUnregisterIf"
                failures.append(name + (f" ({fault})" if fault else ""))
                continue
            print(f"retry: {name} ({fault})", flush=True)
            retried.append(name)
            again = os.path.join(tmp, f"retry{len(retried)}.xml")
            run_ctest(preset, ["-R", exact_name(name)], again)
            if not passed(again, name):
                failures.append(name + " (failed again)")
    print(f"[{preset}] retries: {len(retried)}" + (" (" + ", ".join(retried) + ")" if retried else "")
          + ("" if retry else " (retry off: LT_TEST_RETRY=0)"))
    if failures:
        print(f"[{preset}] failed: " + ", ".join(failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
