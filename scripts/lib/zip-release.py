#!/usr/bin/env python3
"""Writes a release zip that two builds of one commit make byte for byte alike.

    zip-release.py OUT.zip FOLDER FILE...

Each FILE goes in as FOLDER/<its base name>, in the order given, with one fixed time (the
SOURCE_DATE_EPOCH given, else 1980-01-01), Unix attributes (0755 for executables, 0644 for the
rest) and deflate at level 9. Nothing of the machine, the user or the build's time gets in.
"""
import os
import stat
import sys
import time
import zipfile


def main(argv):
    if len(argv) < 4:
        sys.exit("usage: zip-release.py OUT.zip FOLDER FILE...")
    out, folder, files = argv[1], argv[2], argv[3:]
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "315532800"))
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # a zip's times start in 1980
    with zipfile.ZipFile(out + ".part", "w") as archive:
        for path in files:
            info = zipfile.ZipInfo(folder + "/" + os.path.basename(path), date_time=stamp)
            info.create_system = 3  # Unix, so that the attributes below are read
            executable = os.stat(path).st_mode & stat.S_IXUSR
            info.external_attr = (stat.S_IFREG | (0o755 if executable else 0o644)) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as source:
                archive.writestr(info, source.read(), compresslevel=9)
    os.replace(out + ".part", out)


if __name__ == "__main__":
    main(sys.argv)
