#!/usr/bin/env python3
"""Rewrites a .zip or .tar.gz so that its bytes depend on its contents alone.

CPack stores each entry with the time it was staged, the builder's user and group ids, and the
staging folder's listing order, and the ZIP's times in the builder's local time zone. Here every
entry gets the one given time (the commit's), owner 0, a mode of 0755 or 0644 by its
executable bit, no extra fields, and its place in name order; the data is kept as it is.

Usage: normalize_archive.py EPOCH ARCHIVE...
"""
import gzip
import io
import sys
import tarfile
import time
import zipfile


def mode_of(mode, is_dir=False):
    return 0o755 if is_dir or mode & 0o111 else 0o644


def normalize_zip(path, epoch):
    # DOS times count from 1980, in even seconds, without a zone: the commit's time in UTC.
    date_time = time.gmtime(max(epoch, 315532800))[:6]
    with zipfile.ZipFile(path) as source:
        entries = [(info, source.read(info)) for info in source.infolist()]
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as target:
        for info, data in sorted(entries, key=lambda entry: entry[0].filename):
            is_dir = info.is_dir()
            entry = zipfile.ZipInfo(info.filename, date_time)
            entry.create_system = 3  # Unix, so that the mode below is read
            entry.external_attr = ((0o040000 if is_dir else 0o100000) | mode_of(
                info.external_attr >> 16, is_dir)) << 16
            entry.compress_type = zipfile.ZIP_STORED if is_dir else zipfile.ZIP_DEFLATED
            target.writestr(entry, data, compresslevel=9)
    with open(path, "wb") as f:
        f.write(out.getvalue())


def normalize_tar_gz(path, epoch):
    with tarfile.open(path, "r:gz") as source:
        members = []
        for member in source.getmembers():
            data = source.extractfile(member).read() if member.isfile() else None
            members.append((member, data))
    raw = io.BytesIO()
    with tarfile.open(fileobj=raw, mode="w", format=tarfile.PAX_FORMAT) as target:
        for member, data in sorted(members, key=lambda entry: entry[0].name):
            member.mtime = epoch
            member.uid = member.gid = 0
            member.uname = member.gname = ""
            member.pax_headers = {}
            if not member.issym():
                member.mode = mode_of(member.mode, member.isdir())
            target.addfile(member, io.BytesIO(data) if data is not None else None)
    with open(path, "wb") as f:
        # No file name in the gzip header, and the commit's time as its time.
        with gzip.GzipFile(filename="", mode="wb", fileobj=f, mtime=epoch, compresslevel=9) as gz:
            gz.write(raw.getvalue())


def main():
    epoch = int(sys.argv[1])
    for path in sys.argv[2:]:
        if path.endswith(".zip"):
            normalize_zip(path, epoch)
        elif path.endswith((".tar.gz", ".tgz")):
            normalize_tar_gz(path, epoch)
        else:
            sys.exit(f"normalize_archive.py: not a .zip or .tar.gz: {path}")


if __name__ == "__main__":
    main()
