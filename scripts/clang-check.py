#!/usr/bin/env python3
"""Compiles the product's sources with Debian's clang for the same Windows target.

A second compiler finds what GCC lets pass. Each product source is compiled exactly as the
build compiles it (defines, include folders, warning flags and -Werror, taken from the
build's compile_commands.json), but by clang with --target=x86_64-w64-mingw32 against the
mingw-w64 headers, and only checked (-fsyntax-only): Debian's clang has no mingw-w64 runtime
to link against.

Usage: clang-check.py <build-dir>    (a configured build folder, e.g. build/debug)
"""
import json
import os
import shlex
import subprocess
import sys

# The release's own clang (Debian's unversioned package: 14 on Debian 12, 19 on Debian 13).
CLANG = "clang++"
TARGET = "x86_64-w64-mingw32"
MINGW_INCLUDE = "/usr/x86_64-w64-mingw32/include"
PRODUCT_DIRS = ("app", "dialog", "graph", "viewer", "framework")

# GCC's own options that mean nothing to this check: dependency files and the object file.
DROP_WITH_VALUE = {"-o", "-MF", "-MT", "-MQ"}
DROP = {"-c", "-MD", "-MMD"}


def gcc_cxx_includes(gcc):
    """The C++ library folders the build's GCC searches, in its order (they name GCC's version)."""
    listing = subprocess.run([gcc, "-xc++", "-E", "-v", os.devnull, "-o", os.devnull],
                             capture_output=True, text=True, check=True).stderr.splitlines()
    start = listing.index("#include <...> search starts here:") + 1
    end = listing.index("End of search list.")
    folders = [os.path.normpath(line.strip()) for line in listing[start:end]]
    return [f for f in folders if "/include/c++" in f]


def system_includes(gcc):
    """clang's own headers, GCC's C++ library for the target, then the mingw-w64 headers; not the host's."""
    resource = subprocess.run([CLANG, "-print-resource-dir"], capture_output=True, text=True,
                              check=True).stdout.strip()
    cxx = gcc_cxx_includes(gcc)
    if not cxx:
        sys.exit(f"clang-check: {gcc} names no C++ library folder")
    folders = [os.path.join(resource, "include")] + cxx + [MINGW_INCLUDE]
    missing = [f for f in folders if not os.path.isdir(f)]
    if missing:
        sys.exit("clang-check: missing " + ", ".join(missing))
    return ["-nostdinc"] + [arg for f in folders for arg in ("-isystem", f)]


def product_commands(build_dir, source_dir):
    with open(os.path.join(build_dir, "compile_commands.json")) as f:
        entries = json.load(f)
    seen = set()
    for entry in entries:
        source = os.path.normpath(entry["file"])
        relative = os.path.relpath(source, source_dir)
        if relative.split(os.sep)[0] not in PRODUCT_DIRS or not source.endswith(".cpp") or source in seen:
            continue
        seen.add(source)
        yield relative, entry["directory"], shlex.split(entry["command"])


def clang_arguments(gcc_arguments, source):
    arguments, skip = [], False
    for arg in gcc_arguments[1:]:
        if skip:
            skip = False
        elif arg in DROP_WITH_VALUE:
            skip = True
        elif arg not in DROP and os.path.normpath(arg) != source:
            arguments.append(arg)
    return arguments


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    build_dir = os.path.abspath(sys.argv[1])
    source_dir = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    commands = list(product_commands(build_dir, source_dir))
    if not commands:
        sys.exit("clang-check: no product sources in " + os.path.join(build_dir, "compile_commands.json"))
    # The build's own compiler (every product source is compiled by the same one).
    includes = system_includes(commands[0][2][0])
    failed = 0
    for relative, directory, gcc_arguments in commands:
        source = os.path.join(source_dir, relative)
        command = [CLANG, "--target=" + TARGET, "-fsyntax-only"] + includes + \
            clang_arguments(gcc_arguments, source) + [source]
        result = subprocess.run(command, cwd=directory)
        if result.returncode != 0:
            print(f"clang-check: {relative} FAILED", flush=True)
            failed += 1
    version = subprocess.run([CLANG, "-dumpversion"], capture_output=True, text=True).stdout.strip()
    print(f"clang-check: {len(commands)} product sources, {failed} failed ({CLANG} {version}, --target={TARGET})")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
