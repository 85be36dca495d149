#!/usr/bin/env python3
"""Writes the benchmark payloads into a folder, the same bytes on every run (seeded).

  make_payload.py install FOLDER   300 files, 96 MiB in all, sizes spread from 1 KiB to 8 MiB,
                                   a fifth of them in sub-folders, and an install.inf listing them
  make_payload.py single FOLDER    one 32 MiB file and an install.inf listing it
  make_payload.py update FOLDER    the next release of the install payload (made first, in
                                   FOLDER's sibling "install"): the same files, linked, but for
                                   one mid-sized file with other bytes
  make_payload.py manifest FOLDER  an install.inf as long as the installer takes (4 MiB), filled
                                   with short [files] entries and no [sha256], as a server
                                   without a key could send it; none of its files is there

Every install.inf carries a [sha256] section with each file's digest, as a vendor publishes it.

Sizes follow 1 KiB * 8192 ** (x ** k) over evenly spaced x in [0, 1], so the smallest file is
1 KiB and the largest 8 MiB; k is found so the total comes to 96 MiB. The order of installation
is shuffled, so small and large files alternate as in a real package. A folder that already holds
the same payload is left as it is.
"""

import hashlib
import os
import random
import sys

KIB = 1024
MIB = 1024 * KIB
SEED = 20240506

FILE_COUNT = 300
TOTAL_BYTES = 96 * MIB
SMALLEST = 1 * KIB
LARGEST = 8 * MIB
SUB_FOLDER_SHARE = 5  # one file in five lies in a sub-folder
SUB_FOLDERS = ["bin", "data", "data/maps", "lang/ko", "plugins/net"]

MANIFEST_CAP = 4 * MIB  # the installer's cap on install.inf

SINGLE_NAME = "single.bin"
SINGLE_BYTES = 32 * MIB


def sizes_for(exponent):
    last = FILE_COUNT - 1
    return [round(SMALLEST * (LARGEST / SMALLEST) ** ((i / last) ** exponent))
            for i in range(FILE_COUNT)]


def spread_sizes():
    low, high = 1.0, 64.0  # a larger exponent pulls more files towards the small end
    for _ in range(100):
        middle = (low + high) / 2
        if sum(sizes_for(middle)) > TOTAL_BYTES:
            low = middle
        else:
            high = middle
    sizes = sizes_for(high)
    # Round-off goes to a mid-sized file, so the total is exact and the extremes stay.
    sizes[FILE_COUNT // 2] += TOTAL_BYTES - sum(sizes)
    return sizes


def install_payload():
    rng = random.Random(SEED)
    sizes = spread_sizes()
    rng.shuffle(sizes)
    entries = []
    for index, size in enumerate(sizes):
        name = "file%03d.bin" % index
        if index % SUB_FOLDER_SHARE == 0:
            name = SUB_FOLDERS[(index // SUB_FOLDER_SHARE) % len(SUB_FOLDERS)] + "/" + name
        entries.append((name, size))
    return rng, entries


def single_payload():
    return random.Random(SEED + 1), [(SINGLE_NAME, SINGLE_BYTES)]


def listing(entries):
    lines = ["; Velquor benchmark payload", "[files]"]
    # Backslashes, as a Windows package author writes them; the installer maps both.
    lines += ["%d=%s" % (i + 1, name.replace("/", "\\")) for i, (name, _) in enumerate(entries)]
    return "\r\n".join(lines) + "\r\n"


def manifest_bytes(entries, digests):
    sha256 = ["[sha256]"] + ["%s=%s" % (name.replace("/", "\\"), digests[name])
                             for name, _ in entries]
    return (listing(entries) + "\r\n".join(sha256) + "\r\n").encode("ascii")


def local(folder, name):
    return os.path.join(folder, *name.split("/"))


def is_current(folder, stamp):
    # The stamp holds what the folder was made as: a folder made alike is left as it is.
    try:
        with open(os.path.join(folder, ".complete"), "rb") as existing:
            return existing.read() == stamp
    except OSError:
        return False


def finish(folder, entries, digests, stamp):
    with open(os.path.join(folder, "install.inf"), "wb") as out:
        out.write(manifest_bytes(entries, digests))
    with open(os.path.join(folder, ".complete"), "wb") as out:
        out.write(stamp)


def write(folder, rng, entries):
    stamp = listing(entries).encode("ascii")
    if is_current(folder, stamp):
        return
    digests = {}
    for name, size in entries:
        path = local(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        data = rng.randbytes(size)
        digests[name] = hashlib.sha256(data).hexdigest()
        with open(path, "wb") as out:
            out.write(data)
    finish(folder, entries, digests, stamp)


def changed_file(entries):
    """The file of the middle size: the one the next release changes."""
    return sorted(entries, key=lambda entry: entry[1])[len(entries) // 2]


def write_update(folder):
    rng, entries = install_payload()
    source = os.path.join(os.path.dirname(os.path.abspath(folder)), "install")
    write(source, rng, entries)
    changed, size = changed_file(entries)
    stamp = (listing(entries) + "changed=" + changed).encode("ascii")
    if is_current(folder, stamp):
        return entries
    with open(os.path.join(source, "install.inf"), "rb") as published:
        lines = published.read().decode("ascii").split("\r\n")
    digests = dict(line.replace("\\", "/").split("=", 1)
                   for line in lines[lines.index("[sha256]") + 1:] if line)
    for name, _ in entries:
        path = local(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if os.path.lexists(path):
            os.unlink(path)
        if name != changed:
            os.link(local(source, name), path)  # the same bytes, without 96 MiB more on disk
    data = random.Random(SEED + 2).randbytes(size)
    digests[changed] = hashlib.sha256(data).hexdigest()
    with open(local(folder, changed), "wb") as out:
        out.write(data)
    finish(folder, entries, digests, stamp)
    return entries


def write_manifest(folder):
    """The cap filled with entries; returns how many."""
    lines, size = [b"[files]\r\n"], len(b"[files]\r\n")
    while True:
        line = b"%d=d\\f%06d.bin\r\n" % (len(lines), len(lines))
        if size + len(line) > MANIFEST_CAP:
            break
        lines.append(line)
        size += len(line)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "install.inf"), "wb") as out:
        out.write(b"".join(lines))
    return len(lines) - 1, size


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("install", "single", "update", "manifest"):
        sys.exit(__doc__)
    if sys.argv[1] == "manifest":
        count, size = write_manifest(sys.argv[2])
        print("payload manifest: %d entries, %d bytes" % (count, size))
        return
    if sys.argv[1] == "update":
        entries = write_update(sys.argv[2])
        print("payload update: %s changed" % changed_file(entries)[0])
        return
    rng, entries = install_payload() if sys.argv[1] == "install" else single_payload()
    write(sys.argv[2], rng, entries)
    sizes = [size for _, size in entries]
    print("payload %s: %d files, %d bytes, smallest %d, largest %d, in sub-folders %d" % (
        sys.argv[1], len(entries), sum(sizes), min(sizes), max(sizes),
        sum(1 for name, _ in entries if "/" in name)))


if __name__ == "__main__":
    main()
