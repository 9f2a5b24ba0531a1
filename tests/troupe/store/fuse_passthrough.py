#!/usr/bin/python3
"""A plain FUSE passthrough of BELOW at AT, as network and cloud clients are seen: files are
found by path (the kernel's inode numbers follow names, not files) and opened on the folder
beneath. With --lag SECONDS the size a stat reports is the file's size that many seconds
ago, as a client whose metadata lags its bytes gives it. With --write-delay SECONDS each
write request takes that long, as over a slow network or cloud client, and like those the
mount takes writes in requests of up to 128 KiB, not 4 KiB. With --by-path the attributes
of an open file are those of the file now at its path, as cloud clients give them. With
--write-log FILE each write adds a line "INODE LINKS OFFSET SIZE PATH" naming the file the
handle reached as the write came: LINKS 0 is a file renamed away or deleted, that nobody
can reach; and each read a line "read OFFSET SIZE PATH", the bytes the kernel asked for.

    fuse_passthrough.py BELOW AT [--lag SECONDS] [--write-delay SECONDS] [--by-path]
                        [--write-log FILE]   (returns once mounted; fusermount -u AT)
"""
import errno
import os
import sys
import threading
import time

try:
    from fusepy import FUSE, FuseOSError, Operations  # Debian's name
except ImportError:
    from fuse import FUSE, FuseOSError, Operations


class Passthrough(Operations):
    def __init__(self, below, lag, write_delay, by_path, write_log):
        self.below = below
        self.lag = lag
        self.write_delay = write_delay
        self.by_path = by_path
        self.write_log = write_log  # an open file, or None
        self.sizes = {}  # path -> [(when, size)], newest last
        self.lock = threading.Lock()

    def _full(self, path):
        return os.path.join(self.below, path.lstrip("/"))

    def _lagged(self, path, size):
        if self.lag <= 0:
            return size
        now = time.monotonic()
        with self.lock:
            seen = self.sizes.setdefault(path, [])
            if not seen or seen[-1][1] != size:
                seen.append((now, size))
            # The newest size at least `lag` old; the first one known until then.
            while len(seen) > 1 and seen[1][0] <= now - self.lag:
                seen.pop(0)
            return seen[0][1]

    def getattr(self, path, fh=None):
        try:
            st = os.fstat(fh) if fh is not None and not self.by_path else os.lstat(self._full(path))
        except OSError as error:
            raise FuseOSError(error.errno)
        attrs = {k: getattr(st, k) for k in ("st_mode", "st_nlink", "st_uid", "st_gid", "st_atime",
                                             "st_mtime", "st_ctime", "st_blocks")}
        attrs["st_size"] = self._lagged(path, st.st_size) if os.path.isfile(self._full(path)) else st.st_size
        return attrs

    def access(self, path, mode):
        if not os.access(self._full(path), mode):
            raise FuseOSError(errno.EACCES)

    def readdir(self, path, fh):
        return [".", ".."] + os.listdir(self._full(path))

    def readlink(self, path):
        return os.readlink(self._full(path))

    def mkdir(self, path, mode):
        return os.mkdir(self._full(path), mode)

    def rmdir(self, path):
        return os.rmdir(self._full(path))

    def unlink(self, path):
        return os.unlink(self._full(path))

    def rename(self, old, new):
        return os.rename(self._full(old), self._full(new))

    def chmod(self, path, mode):
        return os.chmod(self._full(path), mode)

    def chown(self, path, uid, gid):
        return os.chown(self._full(path), uid, gid)

    def utimens(self, path, times=None):
        return os.utime(self._full(path), times)

    def statfs(self, path):
        st = os.statvfs(self._full(path))
        return {k: getattr(st, k) for k in ("f_bavail", "f_bfree", "f_blocks", "f_bsize", "f_favail",
                                            "f_ffree", "f_files", "f_flag", "f_frsize", "f_namemax")}

    def open(self, path, flags):
        return os.open(self._full(path), flags)

    def create(self, path, mode, fi=None):
        return os.open(self._full(path), os.O_WRONLY | os.O_CREAT | os.O_EXCL, mode)

    def read(self, path, size, offset, fh):
        if self.write_log is not None:
            with self.lock:
                self.write_log.write(f"read {offset} {size} {path}\n")
        return os.pread(fh, size, offset)

    def write(self, path, data, offset, fh):
        # The file as the write finds it on arrival: one renamed away while a slow write
        # sleeps was where the writer rightly sent it.
        if self.write_log is not None:
            st = os.fstat(fh)
            with self.lock:
                self.write_log.write(f"{st.st_ino} {st.st_nlink} {offset} {len(data)} {path}\n")
        if self.write_delay > 0:
            time.sleep(self.write_delay)
        # O_APPEND on the file beneath puts the bytes at its end, whatever the kernel thinks.
        return os.pwrite(fh, data, offset)

    def truncate(self, path, length, fh=None):
        if fh is not None:
            os.ftruncate(fh, length)
        else:
            os.truncate(self._full(path), length)

    def flush(self, path, fh):
        return 0

    def release(self, path, fh):
        return os.close(fh)

    def fsync(self, path, datasync, fh):
        return os.fsync(fh)


def take_option(args, name, has_value):
    """The value of `name` (True for a flag) taken out of args, or None."""
    if name not in args:
        return None
    at = args.index(name)
    value = args[at + 1] if has_value else True
    del args[at:at + (2 if has_value else 1)]
    return value


def main():
    args = sys.argv[1:]
    try:
        lag = float(take_option(args, "--lag", True) or 0)
        write_delay = float(take_option(args, "--write-delay", True) or 0)
        by_path = take_option(args, "--by-path", False) is not None
        log_path = take_option(args, "--write-log", True)
        below, mount = args
    except (IndexError, ValueError):
        sys.exit("usage: " + __doc__.strip().splitlines()[-2].strip() + " " +
                 __doc__.strip().splitlines()[-1].strip())
    # Line-buffered: a test reads the lines while the mount still runs.
    write_log = open(log_path, "a", buffering=1) if log_path else None
    big_writes = {"big_writes": True, "max_write": 131072} if write_delay > 0 else {}
    FUSE(Passthrough(os.path.abspath(below), lag, write_delay, by_path, write_log), mount,
         foreground=False, nothreads=False, **big_writes)


if __name__ == "__main__":
    main()
