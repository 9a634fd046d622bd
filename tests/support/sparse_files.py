"""Files with holes, for the tests that archive them with GNU tar's --sparse."""
import os


def make_sparse_file(path, size, stretches, mtime):
    """A file of `size` bytes holding each (offset, data) of `stretches` and holes elsewhere."""
    with open(path, "wb") as f:
        f.truncate(size)
        for offset, data in stretches:
            f.seek(offset)
            f.write(data)
    os.utime(path, (mtime, mtime))
