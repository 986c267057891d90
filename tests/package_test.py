#!/usr/bin/env python3
"""Builds the Debian package from the build tree, checks the dependencies it declares,
extracts it and runs the ruvo it holds with nothing of the build tree on its search paths,
making sure the interpreter library it loads is the extracted one."""
import glob
import os
import subprocess
import sys
import tempfile


def main():
    build = sys.argv[1]
    problems = []
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run(["cpack", "-G", "DEB", "-B", tmp, "--config",
                        os.path.join(build, "CPackConfig.cmake")],
                       check=True, capture_output=True)
        debs = glob.glob(os.path.join(tmp, "*.deb"))
        if len(debs) != 1:
            print("FAIL: expected one package, found", debs)
            return 1
        field = lambda f: subprocess.run(["dpkg-deb", "-f", debs[0], f], check=True,
                                         capture_output=True, text=True).stdout
        depends, recommends = field("Depends"), field("Recommends")
        for lib in ("libedit2", "libonig5", "libffi8", "libgtk-3-0", "libfreetype6",
                    "libfontconfig1", "libc6"):
            if lib not in depends:
                problems.append("Depends lacks %s: %s" % (lib, depends.strip()))
        if "fonts-ipafont-gothic" not in recommends:
            problems.append("Recommends lacks fonts-ipafont-gothic")
        root = os.path.join(tmp, "root")
        subprocess.run(["dpkg-deb", "-x", debs[0], root], check=True)
        ruvo = os.path.join(root, "usr", "bin", "ruvo")
        for f in ("usr/lib/libruvo.so", "usr/lib/libruvopp.so", "usr/share/man/man1/ruvo.1",
                  "usr/share/doc/ruvo/examples/wordcount.rv"):
            if not os.path.exists(os.path.join(root, f)):
                problems.append("the package lacks " + f)
        env = {"PATH": "/usr/bin:/bin", "LC_ALL": "C", "LD_DEBUG": "libs"}
        p = subprocess.run([ruvo, "-e", "print(1 + 2); exit(0)"], cwd=tmp, env=env,
                           capture_output=True)
        if p.stdout != b"3\r\n" or p.returncode != 0:
            problems.append("the extracted ruvo printed %r, status %d" % (p.stdout, p.returncode))
        loaded = [l for l in p.stderr.decode(errors="replace").splitlines()
                  if "calling init:" in l and "libruvo" in l]
        if not loaded or any(root not in l or build in l for l in loaded):
            problems.append("libruvo did not come from the package: %r" % loaded)
    for p_ in problems:
        print("FAIL:", p_)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
