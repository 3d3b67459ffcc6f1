#!/usr/bin/python3
"""A loopback SMTP server for the mail tests, on aiosmtpd.

Every accepted message is stored as DIR/<n>.eml (the bytes after DATA, dot
transparency undone) with DIR/<n>.json (envelope, whether TLS and AUTH were
used). Prints "PORT <n>" on stdout once it listens; runs until killed or its
standard input closes.

  --refuse ADDR      answer RCPT TO for ADDR with 550
  --silent           accept connections and never answer
  --tls DIR          offer STARTTLS with DIR/server.pem and DIR/server.key
  --auth USER:PASS   require AUTH (PLAIN or LOGIN) with these credentials
  --implicit-tls DIR speak TLS from the first byte (as on port 465)
  --mute-quit        never answer QUIT
  --idle SECONDS     drop idle sessions with 421 after SECONDS
"""
import argparse
import asyncio
import json
import os
import socket
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Store:
    def __init__(self, folder, refuse):
        self.folder = folder
        self.refuse = refuse
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.refuse:
            return "550 5.1.1 <%s>: Recipient address rejected" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, str(self.count))
        with open(base + ".eml.tmp", "wb") as f:
            f.write(envelope.original_content or envelope.content)
        meta = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "tls": session.ssl is not None or server.transport.get_extra_info("ssl_object") is not None,
            "auth": session.authenticated,
        }
        with open(base + ".json.tmp", "w") as f:
            json.dump(meta, f)
        os.rename(base + ".json.tmp", base + ".json")
        os.rename(base + ".eml.tmp", base + ".eml")
        return "250 OK stored"


class MuteQuit(SMTP):
    async def smtp_QUIT(self, arg):
        await asyncio.sleep(3600)


async def silent(reader, writer):
    await reader.read()
    writer.close()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("folder")
    p.add_argument("--refuse", action="append", default=[])
    p.add_argument("--silent", action="store_true")
    p.add_argument("--tls")
    p.add_argument("--auth")
    p.add_argument("--implicit-tls")
    p.add_argument("--mute-quit", action="store_true")
    p.add_argument("--idle", type=float)
    a = p.parse_args()

    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind(("127.0.0.1", 0))
    sock.listen(64)

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    if a.silent:
        server = loop.run_until_complete(asyncio.start_server(silent, sock=sock))
    else:
        store = Store(a.folder, set(a.refuse))
        kwargs = {"data_size_limit": 64 * 1024 * 1024, "decode_data": False, "hostname": "localhost"}
        if a.tls:
            ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
            ctx.load_cert_chain(os.path.join(a.tls, "server.pem"), os.path.join(a.tls, "server.key"))
            kwargs["tls_context"] = ctx
        if a.auth:
            user, password = a.auth.split(":", 1)

            def authenticator(server, session, envelope, mechanism, auth_data):
                ok = isinstance(auth_data, LoginPassword) and \
                    auth_data.login == user.encode() and auth_data.password == password.encode()
                return AuthResult(success=ok, handled=False)

            kwargs["auth_required"] = True
            kwargs["auth_require_tls"] = bool(a.tls)
            kwargs["authenticator"] = authenticator
        else:
            kwargs["auth_require_tls"] = False
        if a.idle:
            kwargs["timeout"] = a.idle
        factory = MuteQuit if a.mute_quit else SMTP
        implicit = None
        if a.implicit_tls:
            implicit = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
            implicit.load_cert_chain(os.path.join(a.implicit_tls, "server.pem"),
                                     os.path.join(a.implicit_tls, "server.key"))
        server = loop.run_until_complete(
            loop.create_server(lambda: factory(store, **kwargs), sock=sock, ssl=implicit))

    print("PORT %d" % sock.getsockname()[1], flush=True)

    # Stop when the test closes our standard input (or dies).
    def stdin_closed():
        if not sys.stdin.buffer.read1(4096):
            loop.stop()
    loop.add_reader(sys.stdin.fileno(), stdin_closed)
    loop.run_forever()
    server.close()


if __name__ == "__main__":
    main()
