#!/usr/bin/env python3
"""Checks that the README's Layout section is the map of the source tree.

Usage: check-layout.py [SOURCE_DIR]

The Layout section lists the source folders from the top down; python/ and
programs/ may include from any folder below them, every other folder only
from the ones below it. This prints the folder-level include graph (one line
per pair of folders, with the number of includes) and fails on an include
that runs up or sideways, on a source folder the list does not name and on a
listed folder that holds no source.
"""
import pathlib
import re
import sys

TOP_TIER = {"python", "programs"}
SOURCE_SUFFIXES = {".cpp", ".h", ".c"}


def layered_folders(readme):
    text = readme.read_text(encoding="utf-8")
    section = text.split("\n## Layout\n", 1)[1].split("\n## ", 1)[0]
    folders = []
    for line in section.splitlines():
        match = re.match(r"- `([a-z]+)/`", line)
        if match:
            if match.group(1) == "fuzz":
                break
            folders.append(match.group(1))
    return folders


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    folders = layered_folders(root / "README.md")
    # The lower a folder, the higher its rank; the top tier shares rank 0.
    rank = {}
    for folder in folders:
        rank[folder] = 0 if folder in TOP_TIER else len(rank)
    failures = []
    edges = {}
    for folder in folders:
        sources = [p for p in (root / folder).rglob("*") if p.suffix in SOURCE_SUFFIXES]
        if not sources:
            failures.append(f"{folder}/: listed in the Layout, but holds no source")
        for source in sources:
            for number, line in enumerate(source.read_text(encoding="utf-8").splitlines(), 1):
                match = re.match(r'#include "([^"]+)"', line)
                if not match or "/" not in match.group(1):
                    continue
                target = match.group(1).split("/")[0]
                where = f"{source.relative_to(root)}:{number}"
                if target not in rank:
                    failures.append(f"{where}: includes {match.group(1)}, from a folder the Layout does not list")
                    continue
                if target != folder:
                    edges[(folder, target)] = edges.get((folder, target), 0) + 1
                    if rank[target] <= rank[folder]:
                        failures.append(f"{where}: {folder}/ includes {match.group(1)}, which is not below it")
    for path in sorted(root.iterdir()):
        if path.is_dir() and path.name not in folders and not path.name.startswith(("build", ".")):
            if path.name in {"fuzz", "tests", "bench", "docs", "cmake"}:
                continue
            if any(p.suffix in SOURCE_SUFFIXES for p in path.rglob("*")):
                failures.append(f"{path.name}/: holds sources, but the Layout does not list it")
    for (source, target), count in sorted(edges.items(), key=lambda e: (rank[e[0][0]], e[0][0], -rank[e[0][1]])):
        print(f"{source}/ -> {target}/ ({count})")
    for failure in failures:
        print(f"check-layout: {failure}", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
