#!/usr/bin/env python3
"""Runs a program with a pseudo-terminal as its standard input and output, as a
person at a console would, for the GUI checks of the console waits.

  pty_run.py OUT CTRL PROGRAM [ARGS...]

Everything the program writes goes to the file OUT. Whenever the file CTRL
exists, its bytes are typed on the program's terminal and the file is removed
(write it under another name and rename it, so that it is read whole). Ends with
the program's exit status.
"""
import os
import pty
import select
import sys


def main(argv):
    out_path, ctrl, prog = argv[1], argv[2], argv[3:]
    pid, fd = pty.fork()
    if pid == 0:
        os.execv(prog[0], prog)
    done, status = 0, 0
    with open(out_path, "ab", buffering=0) as out:
        while True:
            r, _, _ = select.select([fd], [], [], 0.05)
            if r:
                try:
                    data = os.read(fd, 4096)
                except OSError:
                    data = b""
                if not data:
                    break
                out.write(data)
            if os.path.exists(ctrl):
                with open(ctrl, "rb") as f:
                    keys = f.read()
                os.remove(ctrl)
                os.write(fd, keys)
            done, status = os.waitpid(pid, os.WNOHANG)
            if done:
                break
    if not done:
        _, status = os.waitpid(pid, 0)
    return os.waitstatus_to_exitcode(status)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
