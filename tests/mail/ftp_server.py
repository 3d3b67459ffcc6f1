#!/usr/bin/python3
"""A loopback FTP server for the upload tests, on pyftpdlib.

Files land in DIR/root. Prints "PORT <n>" once listening; runs until its
standard input closes.

  --user NAME:PASS       a user with write rights (repeatable)
  --readonly NAME:PASS   a user who may only list and read
  --no-epsv              refuse EPSV so clients fall back to PASV
  --masquerade ADDR      name ADDR in PASV replies (an unreachable address)
  --idle SECONDS         drop idle sessions with 421 after SECONDS
  --foreign-first        in active mode, first connect to the client from
                         127.0.0.2 (a third host) and write to DIR/foreign.txt
                         whether the client dropped that connection
"""
import argparse
import os
import socket
import threading
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import ActiveDTP, FTPHandler
from pyftpdlib.servers import FTPServer


class NoEpsvHandler(FTPHandler):
    def ftp_EPSV(self, line):
        self.respond("502 EPSV not implemented.")


def foreign_dtp(report):
    class ForeignFirstDTP(ActiveDTP):
        def __init__(self, ip, port, cmd_channel):
            intruder = socket.create_connection((ip, port), timeout=5, source_address=("127.0.0.2", 0))

            def watch():
                try:
                    data = intruder.recv(100)
                    verdict = "rejected" if not data else "accepted"
                except OSError:
                    verdict = "rejected"
                with open(report, "w") as f:
                    f.write(verdict)
            threading.Thread(target=watch, daemon=True).start()
            super().__init__(ip, port, cmd_channel)
    return ForeignFirstDTP


def exit_when_stdin_closes():
    while os.read(sys.stdin.fileno(), 4096):
        pass
    os._exit(0)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("folder")
    p.add_argument("--user", action="append", default=[])
    p.add_argument("--readonly", action="append", default=[])
    p.add_argument("--no-epsv", action="store_true")
    p.add_argument("--masquerade")
    p.add_argument("--foreign-first", action="store_true")
    p.add_argument("--idle", type=float)
    a = p.parse_args()

    root = os.path.join(a.folder, "root")
    os.makedirs(root, exist_ok=True)
    auth = DummyAuthorizer()
    for u in a.user:
        name, password = u.split(":", 1)
        auth.add_user(name, password, root, perm="elradfmwMT")
    for u in a.readonly:
        name, password = u.split(":", 1)
        auth.add_user(name, password, root, perm="elr")

    handler = NoEpsvHandler if a.no_epsv else FTPHandler
    handler.authorizer = auth
    handler.banner = "Vandrex test FTP server ready."
    handler.auth_failed_timeout = 0.1
    if a.idle:
        handler.timeout = a.idle
    if a.foreign_first:
        handler.active_dtp = foreign_dtp(os.path.join(a.folder, "foreign.txt"))
    if a.masquerade:
        handler.masquerade_address = a.masquerade
    server = FTPServer(("127.0.0.1", 0), handler)
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    threading.Thread(target=exit_when_stdin_closes, daemon=True).start()
    server.serve_forever(timeout=0.5)


if __name__ == "__main__":
    main()
