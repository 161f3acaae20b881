#!/usr/bin/env python3
"""Fails on a product #include that runs against the layer order.

Usage: check-layers.py [REPO]

Every quoted #include in the product folders is resolved to a file of the
repository and must name a folder the including folder may use (README.md,
"Layers"). Angle-bracket includes are system and third-party headers.
"""
import os
import re
import sys

# Folder -> the folders its files may include, itself first. The client
# headers in include/ depend on nothing and may be used by every layer.
LAYERS = {
    "include": ["include"],
    "utility": ["utility", "include"],
    "display/kernels": ["display/kernels", "utility"],
    "drawing": ["drawing", "display/kernels", "utility", "include"],
    "image": ["image", "drawing", "display/kernels", "utility", "include"],
    "display": ["display", "image", "drawing", "display/kernels", "utility", "include"],
    "input": ["input", "display", "image", "drawing", "display/kernels", "utility", "include"],
    "sound": ["sound", "utility", "include"],
    "engine": ["engine", "input", "display", "image", "drawing", "display/kernels", "sound", "utility", "include"],
    # A client: the interfaces only.
    "samples": ["samples", "include"],
}
SOURCE = re.compile(r"\.(h|hpp|c|cc|cpp)$")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def layer_of(path):
    """The most specific LAYERS key that path lies in, or None."""
    best = None
    for key in LAYERS:
        if path == key or path.startswith(key + "/"):
            if best is None or len(key) > len(best):
                best = key
    return best


def main():
    repo = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    files = []
    for key in LAYERS:
        for root, _, names in os.walk(os.path.join(repo, key)):
            for name in names:
                if SOURCE.search(name):
                    files.append(os.path.relpath(os.path.join(root, name), repo).replace(os.sep, "/"))
    files = sorted(set(files))
    errors = []
    for path in files:
        here = layer_of(path)
        with open(os.path.join(repo, path), encoding="utf-8", errors="replace") as f:
            text = f.read()
        for name in INCLUDE.findall(text):
            local = os.path.normpath(os.path.join(os.path.dirname(path), name)).replace(os.sep, "/")
            if local in files:
                targets = [local]
            else:
                targets = [p for p in files if p == name or p.endswith("/" + name)]
            if len(targets) != 1:
                errors.append(f'{path}: "{name}" matches {len(targets)} files of the product')
                continue
            there = layer_of(targets[0])
            if there not in LAYERS[here]:
                errors.append(f'{path}: includes {targets[0]}: {here}/ may not use {there}/')
    for e in errors:
        print(e)
    print(f"{len(files)} files checked, {len(errors)} include(s) against the layer order")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
