"""Which symbolic links an extraction makes: the test scripts' one copy of the rule."""
import os


def link_stays_inside(member):
    """A symbolic link is made only when its target, read lexically from the link's folder,
    stays below the destination (the rule of tarfile's data filter)."""
    target = member.linkname
    if not target or target.startswith("/"):
        return False
    depth = len([p for p in os.path.dirname(member.name).split("/") if p not in ("", ".")])
    for part in target.split("/"):
        if part == "..":
            depth -= 1
            if depth < 0:
                return False
        elif part not in ("", "."):
            depth += 1
    return True
