#!/usr/bin/python3
"""A plain FUSE passthrough of BELOW at AT, as network and cloud clients are seen: files are
found by path (the kernel's inode numbers follow names, not files) and opened on the folder
beneath. With --lag SECONDS the size a stat reports is the file's size that many seconds
ago, as a client whose metadata lags its bytes gives it.

    fuse_passthrough.py BELOW AT [--lag SECONDS]   (returns once mounted; fusermount -u AT)
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
    def __init__(self, below, lag):
        self.below = below
        self.lag = lag
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
            st = os.fstat(fh) if fh is not None else os.lstat(self._full(path))
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
        return os.pread(fh, size, offset)

    def write(self, path, data, offset, fh):
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


def main():
    args = sys.argv[1:]
    lag = 0.0
    if "--lag" in args:
        at = args.index("--lag")
        lag = float(args[at + 1])
        del args[at:at + 2]
    below, mount = args
    FUSE(Passthrough(os.path.abspath(below), lag), mount, foreground=False, nothreads=False)


if __name__ == "__main__":
    main()
