#!/usr/bin/env python3
"""Maps a Wine COM port to a pseudo-terminal and runs a command meanwhile.

usage: wine-pty-com.py COM_NUMBER (--echo | --serve PROGRAM ARGS... --) COMMAND ARGS...

The pseudo-terminal's other end either echoes what comes (--echo) or is
given to a Linux program as its line (--serve: the program's arguments may
name the terminal as {pty}). Wine reaches COM n through the link
$WINEPREFIX/dosdevices/comN. The command's exit status is the script's.
"""
import os
import subprocess
import sys
import threading
import tty


def main():
    args = sys.argv[1:]
    com = int(args.pop(0))
    serve = None
    if args[0] == "--echo":
        args.pop(0)
    elif args[0] == "--serve":
        end = args.index("--")
        serve, args = args[1:end], args[end + 1:]
    else:
        sys.exit(__doc__)
    prefix = os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine"))
    link = os.path.join(prefix, "dosdevices", "com%d" % com)

    server = None
    if serve:
        # The program makes its own pseudo-terminal and names it on its first line.
        server = subprocess.Popen(serve, stdout=subprocess.PIPE, text=True)
        line = server.stdout.readline()
        pty = line.split()[-1]
        if not pty.startswith("/dev/"):
            sys.exit("wine-pty-com: the server named no terminal: " + line)
    else:
        master, slave = os.openpty()
        tty.setraw(slave)
        pty = os.ttyname(slave)

        def echo():
            while True:
                try:
                    data = os.read(master, 4096)
                except OSError:
                    return
                if not data:
                    return
                os.write(master, data)

        threading.Thread(target=echo, daemon=True).start()

    if os.path.lexists(link):
        os.remove(link)
    os.symlink(pty, link)
    try:
        env = dict(os.environ, QZ_TEST_COM=str(com))
        status = subprocess.call(args, env=env)
    finally:
        os.remove(link)
        if server:
            server.terminate()
            server.wait()
    sys.exit(status)


if __name__ == "__main__":
    main()
