#!/usr/bin/python3
"""Mail servers on loopback for the support-request tests.

SMTP (aiosmtpd) on a plain port that offers STARTTLS and requires AUTH after
it, behind a recording relay that keeps every byte the client sent on the
wire; POP3 over TLS from the first byte. Each listens on a free port of
127.0.0.1; the ports go to <dir>/ready.json once both listen. Accepted mails
go to <dir>/mail-N.eml with their envelope in <dir>/mail-N.json; what the
servers saw, in order, goes to <dir>/events.log. Stops on SIGTERM, when its
standard input closes, or after --lifetime seconds.

SMTP behaviours (--smtp):
  normal        STARTTLS, then AUTH, then the mail
  no-starttls   offers AUTH on the plain connection and never TLS
  rcpt-5xx      refuses every recipient with 550
  rcpt-451      refuses every recipient for now with 451
  data-5xx      refuses the mail after its data with 554
  data-452      refuses the mail for now after its data with 452
  slow-answer   keeps the mail, then answers its end only after --delay seconds
  close-after-data  keeps the mail, then closes the connection without a reply
  silent        accepts connections and never says a word
  stall-upload  stops reading what the client sends after its first 16 KiB
  throttle-upload  reads what the client sends at --rate bytes a second
  down          the port is taken but nothing listens
POP3 behaviours (--pop): normal, silent, down.
"""

import argparse
import asyncio
import json
import logging
import os
import signal
import socket
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Recorder:
    def __init__(self, folder):
        self.folder = folder
        self.events = open(os.path.join(folder, "events.log"), "a", buffering=1)
        self.wire = open(os.path.join(folder, "smtp-wire.bin"), "ab", buffering=0)
        self.mails = 0

    def event(self, text):
        self.events.write(text + "\n")

    def mail(self, content, envelope):
        self.mails += 1
        base = os.path.join(self.folder, "mail-%d" % self.mails)
        with open(base + ".eml", "wb") as f:
            f.write(content)
        with open(base + ".json", "w") as f:
            json.dump(envelope, f)


REFUSALS = {
    "rcpt-5xx": "550 5.1.1 Mailbox unavailable",
    "rcpt-451": "451 4.3.0 Try again later",
    "data-5xx": "554 5.6.0 Message refused",
    "data-452": "452 4.3.1 Insufficient system storage",
}


class Handler:
    def __init__(self, mode, recorder, delay):
        self.mode = mode
        self.recorder = recorder
        self.delay = delay

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        self.recorder.event("smtp RCPT %s" % address)
        if self.mode.startswith("rcpt-"):
            return REFUSALS[self.mode]
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.mode.startswith("data-"):
            self.recorder.event("smtp DATA refused")
            return REFUSALS[self.mode]
        # Kept before the answer, so a client told 250 finds the file.
        self.recorder.mail(envelope.original_content, {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "tls": session.ssl is not None,
            "authenticated": bool(session.authenticated),
        })
        if self.mode == "close-after-data":
            self.recorder.event("smtp DATA kept, connection closed")
            server.transport.abort()
            return "421 4.4.2 never sent"
        if self.mode == "slow-answer":
            await asyncio.sleep(self.delay)
        self.recorder.event("smtp DATA accepted")
        return "250 2.0.0 Accepted"


def make_authenticator(user, password, recorder):
    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword)
              and auth_data.login == user.encode()
              and auth_data.password == password.encode())
        recorder.event("smtp AUTH %s %s tls=%s" % (
            mechanism, "accepted" if ok else "refused", session.ssl is not None))
        # Not handled here: the server answers a refusal with 535 itself.
        return AuthResult(success=ok, handled=False)
    return authenticate


async def relay(reader, writer, record, stall_after=None, rate=None):
    """Carries bytes from reader to writer; record keeps the client's side.
    After stall_after bytes it stops reading, and the client's sending stalls
    once the buffers on the way are full. With a rate it reads no faster than
    that many bytes a second, in small steps."""
    carried = 0
    step = 1024
    try:
        while True:
            if stall_after is not None and carried >= stall_after:
                await asyncio.Event().wait()
            if rate is not None:
                await asyncio.sleep(step / rate)
            data = await reader.read(step if rate is not None else 4096)
            if not data:
                break
            carried += len(data)
            if record:
                record(data)
            writer.write(data)
            await writer.drain()
    except (ConnectionError, OSError):
        pass
    finally:
        writer.close()


async def start_smtp(args, recorder, server_tls):
    loop = asyncio.get_running_loop()
    if args.smtp == "down":
        held = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        held.bind(("127.0.0.1", 0))
        return held.getsockname()[1], [held]
    if args.smtp == "silent":
        async def say_nothing(reader, writer):
            recorder.event("smtp connect (silent)")
            await reader.read()  # until the client gives up
            writer.close()
        server = await asyncio.start_server(say_nothing, "127.0.0.1", 0)
        return server.sockets[0].getsockname()[1], [server]

    handler = Handler(args.smtp, recorder, args.delay)
    authenticator = make_authenticator(args.user, args.password, recorder)
    if args.smtp == "no-starttls":
        factory = lambda: SMTP(handler, hostname="mail.test", auth_required=True,
                               auth_require_tls=False, authenticator=authenticator)
    else:
        factory = lambda: SMTP(handler, hostname="mail.test", tls_context=server_tls,
                               require_starttls=True, auth_required=True,
                               auth_require_tls=True, authenticator=authenticator)
    inner = await loop.create_server(factory, "127.0.0.1", 0)
    inner_port = inner.sockets[0].getsockname()[1]

    stall_after = 16 * 1024 if args.smtp == "stall-upload" else None
    rate = args.rate if args.smtp == "throttle-upload" else None

    async def on_client(client_reader, client_writer):
        recorder.event("smtp connect")
        up_reader, up_writer = await asyncio.open_connection("127.0.0.1", inner_port)
        await asyncio.gather(
            relay(client_reader, up_writer, recorder.wire.write, stall_after, rate),
            relay(up_reader, client_writer, None))

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    if stall_after is not None or rate is not None:
        # A small window, so that a stalled reader stops the client soon.
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    listener.bind(("127.0.0.1", 0))
    outer = await asyncio.start_server(on_client, sock=listener, limit=4096)
    return outer.sockets[0].getsockname()[1], [inner, outer]


async def start_pop(args, recorder, server_tls):
    if args.pop == "down":
        held = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        held.bind(("127.0.0.1", 0))
        return held.getsockname()[1], [held]
    if args.pop == "silent":
        async def say_nothing(reader, writer):
            recorder.event("pop connect (silent)")
            await reader.read()
            writer.close()
        server = await asyncio.start_server(say_nothing, "127.0.0.1", 0)
        return server.sockets[0].getsockname()[1], [server]

    async def session(reader, writer):
        recorder.event("pop connect")
        writer.write(b"+OK POP3 ready\r\n")
        user = None
        signed_in = False
        try:
            while True:
                line = await reader.readline()
                if not line:
                    break
                command, _, argument = line.decode("utf-8", "replace").rstrip("\r\n").partition(" ")
                command = command.upper()
                if command == "CAPA":
                    writer.write(b"+OK\r\nUSER\r\n.\r\n")
                elif command == "USER":
                    user = argument
                    writer.write(b"+OK\r\n")
                elif command == "PASS":
                    signed_in = user == args.user and argument == args.password
                    recorder.event("pop PASS %s" % ("accepted" if signed_in else "refused"))
                    writer.write(b"+OK signed in\r\n" if signed_in else b"-ERR refused\r\n")
                elif command == "STAT" and signed_in:
                    recorder.event("pop STAT %s" % user)
                    writer.write(b"+OK 0 0\r\n")
                elif command == "QUIT":
                    writer.write(b"+OK bye\r\n")
                    break
                else:
                    writer.write(b"-ERR\r\n")
                await writer.drain()
        except (ConnectionError, OSError, ssl.SSLError):
            pass
        finally:
            writer.close()

    server = await asyncio.start_server(session, "127.0.0.1", 0, ssl=server_tls)
    return server.sockets[0].getsockname()[1], [server]


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--smtp", default="normal",
                        choices=["normal", "no-starttls", "rcpt-5xx", "rcpt-451", "data-5xx",
                                 "data-452", "slow-answer", "close-after-data", "silent",
                                 "stall-upload", "throttle-upload", "down"])
    parser.add_argument("--delay", type=float, default=15)
    parser.add_argument("--rate", type=float, default=65536)
    parser.add_argument("--pop", default="normal", choices=["normal", "silent", "down"])
    parser.add_argument("--lifetime", type=float, default=300)
    args = parser.parse_args()
    # The servers' own chatter would only clutter the test's output.
    logging.getLogger("mail.log").setLevel(logging.ERROR)

    server_tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    server_tls.load_cert_chain(args.cert, args.key)
    recorder = Recorder(args.dir)

    smtp_port, smtp_held = await start_smtp(args, recorder, server_tls)
    pop_port, pop_held = await start_pop(args, recorder, server_tls)

    ready = os.path.join(args.dir, "ready.json")
    with open(ready + ".tmp", "w") as f:
        json.dump({"smtp": smtp_port, "pop": pop_port}, f)
    os.replace(ready + ".tmp", ready)

    loop = asyncio.get_running_loop()
    stop = loop.create_future()
    for signum in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(signum, lambda: stop.done() or stop.set_result(None))
    loop.add_reader(sys.stdin.fileno(),
                    lambda: sys.stdin.buffer.read1(4096) or stop.done() or stop.set_result(None))
    try:
        await asyncio.wait_for(stop, args.lifetime)
    except asyncio.TimeoutError:
        pass
    for held in smtp_held + pop_held:
        held.close()


if __name__ == "__main__":
    asyncio.run(main())
