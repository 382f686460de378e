#!/usr/bin/env python3
"""Sends commands to the simulated device library's control socket and prints the replies.

Usage: simctl.py SOCKET COMMAND [COMMAND ...]   e.g. simctl.py /tmp/sim.sock "unplug 1" "plug 1"
"""
import socket
import sys


def main() -> int:
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as sock:
        sock.connect(sys.argv[1])
        stream = sock.makefile("rw", encoding="utf-8", newline="\n")
        failed = False
        for command in sys.argv[2:]:
            stream.write(command + "\n")
            stream.flush()
            reply = stream.readline().strip()
            print(f"{command}: {reply}")
            failed |= not reply.startswith("ok")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
