#!/usr/bin/python3
"""A mail server for the tests on 127.0.0.1: STARTTLS with a throwaway certificate, AUTH
required, each message kept in DIR/mail/NNN/ (the raw message, its envelope, its headers,
its text and its attachments by name). Prints "PORT n" once it takes connections.

  smtp_server.py DIR --user U --password P [--refuse ADDRESS]... [--stop-after N] [--hang-after N]

--stop-after N: gone once the Nth message is accepted. --hang-after N: later messages are
kept but never answered, as when the client is killed before the reply reaches it.
"""
import argparse
import asyncio
import email
import email.policy
import os
import socket
import ssl
import subprocess
import sys
import threading
import logging

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult

logging.getLogger("mail.log").setLevel(logging.ERROR)  # aiosmtpd warns of its own login_data

args = argparse.ArgumentParser()
args.add_argument("dir")
args.add_argument("--user", required=True)
args.add_argument("--password", required=True)
args.add_argument("--refuse", action="append", default=[])
args.add_argument("--stop-after", type=int, default=0)
args.add_argument("--hang-after", type=int, default=0)
opts = args.parse_args()

cert, key = os.path.join(opts.dir, "server.pem"), os.path.join(opts.dir, "server.key")
if not os.path.exists(cert):
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1",
                    "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert],
                   check=True, capture_output=True)
tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
tls.load_cert_chain(cert, key)

mail_dir = os.path.join(opts.dir, "mail")
os.makedirs(mail_dir, exist_ok=True)
done = threading.Event()
count = [len(os.listdir(mail_dir))]


def login(server, session, envelope, mechanism, auth_data):
    ok = auth_data.login.decode() == opts.user and auth_data.password.decode() == opts.password
    return AuthResult(success=ok, handled=False)


class Keep:
    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in opts.refuse:
            return "550 5.1.1 <%s>: no such mailbox here" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        count[0] += 1
        folder = os.path.join(mail_dir, "%03d" % count[0])
        os.makedirs(folder)
        raw = envelope.original_content
        with open(os.path.join(folder, "message.eml"), "wb") as f:
            f.write(raw)
        with open(os.path.join(folder, "envelope.txt"), "w") as f:
            f.write("\n".join([envelope.mail_from] + envelope.rcpt_tos) + "\n")
        message = email.message_from_bytes(raw, policy=email.policy.default)
        with open(os.path.join(folder, "headers.txt"), "w", encoding="utf-8") as f:
            for name in ("From", "To", "Cc", "Subject", "Date", "Message-ID"):
                if message[name] is not None:
                    f.write("%s: %s\n" % (name, message[name]))
        for part in message.iter_parts():
            name = part.get_filename()
            if name:
                with open(os.path.join(folder, name), "wb") as f:
                    f.write(part.get_content())
            elif part.get_content_type() == "text/plain":
                with open(os.path.join(folder, "body.txt"), "w", encoding="utf-8") as f:
                    f.write(part.get_content())
        if opts.hang_after and count[0] > opts.hang_after:
            await asyncio.sleep(3600)
        if opts.stop_after and count[0] >= opts.stop_after:
            # Once the reply has gone out: the connection closed, no new one taken.
            asyncio.get_running_loop().call_soon(self.gone, server)
        return "250 Message accepted for delivery"

    def gone(self, server):
        server.transport.close()
        controller.server.close()
        done.set()


with socket.socket() as s:
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
controller = Controller(Keep(), hostname="127.0.0.1", port=port, tls_context=tls, require_starttls=True,
                        authenticator=login, auth_required=True, auth_require_tls=True)
controller.start()
print("PORT %d" % port, flush=True)
try:
    if opts.stop_after:
        done.wait()
        # Long enough for the last reply to go out, then the server is gone.
        threading.Event().wait(0.2)
    else:
        sys.stdin.read()
finally:
    controller.stop()
