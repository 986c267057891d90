"""A launcher and its libraries copied into ROOT/bin and ROOT/lib, the layout of an install:
the launcher finds its libraries through ../lib and its start-up scripts beside itself, so a
test can put init.rv and user.rv there without touching the build."""
import os
import shutil


def install_launcher(root, launcher, libs):
    """Returns the path of the copied launcher."""
    bindir, libdir = os.path.join(root, "bin"), os.path.join(root, "lib")
    os.mkdir(bindir)
    os.mkdir(libdir)
    ruvo = os.path.join(bindir, "ruvo")
    shutil.copy2(launcher, ruvo)
    for lib in libs:
        shutil.copy2(lib, libdir)
    return ruvo
