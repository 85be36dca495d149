"""Releases the publishing tool would not make: a published install.inf with its [info] version
replaced or dropped, signed again with a given key. The suites serve them as an older release, a
manifest without a version, another vendor's record, or a release published before sizes.

    resign.py KEY MANIFEST OUTDIR NAME=VERSION ...   (NAME= drops the version; a NAME starting
                                                      with "nosize" drops the [size] section)

writes OUTDIR/NAME.inf and OUTDIR/NAME.inf.sig for each."""

import importlib.machinery
import importlib.util
import os
import re
import sys
from pathlib import Path

TOOL = str(Path(__file__).resolve().parents[2] / "tools" / "velquor-publish")
_loader = importlib.machinery.SourceFileLoader("velquor_publish", TOOL)
tool = importlib.util.module_from_spec(importlib.util.spec_from_loader(_loader.name, _loader))
_loader.exec_module(tool)


def main(key_path, manifest_path, out, *releases):
    key = tool.load_private_key(key_path)
    published = Path(manifest_path).read_bytes()
    without = re.sub(rb"(?im)^version=[^\r\n]*\r\n", b"", published)
    os.makedirs(out, exist_ok=True)
    for release in releases:
        name, version = release.split("=", 1)
        data = without.replace(b"[info]\r\n", b"[info]\r\nversion=" + version.encode("cp949")
                               + b"\r\n", 1) if version else without
        if name.startswith("nosize"):
            data = re.sub(rb"(?ims)^\[size\]\r\n.*?(?=^\[|\Z)", b"", data)
        Path(out, name + ".inf").write_bytes(data)
        Path(out, name + ".inf.sig").write_bytes(tool.sign(key, data))


if __name__ == "__main__":
    main(*sys.argv[1:])
