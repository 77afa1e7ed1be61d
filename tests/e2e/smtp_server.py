"""An SMTP server for the mail tests, built on Debian's python3-aiosmtpd and
run by the system's Python as its own process:

    smtp_server.py PORT OUTDIR [--starttls CERT KEY] [--smtps CERT KEY]
                   [--auth] [--no-plain] [--require-tls]

Each message it accepts is written to OUTDIR/<n>.eml (the DATA bytes after
transparency is undone) with OUTDIR/<n>.env holding "MAIL FROM" and the
"RCPT TO" addresses, one per line. Every login attempt is appended to
OUTDIR/auth.log as "<mechanism> <user> <ok|refused>". Users: "alice" with
the password "wonderland". Stops on SIGTERM.
"""
import os
import signal
import ssl
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


def main():
    port, outdir = int(sys.argv[1]), sys.argv[2]
    args = sys.argv[3:]
    options = {}
    i = 0
    while i < len(args):
        if args[i] in ("--starttls", "--smtps"):
            options[args[i]] = (args[i + 1], args[i + 2])
            i += 3
        else:
            options[args[i]] = True
            i += 1
    count = [0]
    lock = threading.Lock()

    class Handler:
        async def handle_DATA(self, server, session, envelope):
            with lock:
                count[0] += 1
                n = count[0]
            base = os.path.join(outdir, str(n))
            with open(base + ".eml", "wb") as f:
                f.write(envelope.original_content or b"")
            with open(base + ".env", "w") as f:
                f.write("\n".join([envelope.mail_from] + list(envelope.rcpt_tos)) + "\n")
            return "250 Message accepted for delivery"

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword) and auth_data.login == b"alice"
              and auth_data.password == b"wonderland")
        user = auth_data.login.decode("latin-1") if isinstance(auth_data, LoginPassword) else "?"
        with lock, open(os.path.join(outdir, "auth.log"), "a") as f:
            f.write(f"{mechanism} {user} {'ok' if ok else 'refused'}\n")
        return AuthResult(success=ok, handled=False)

    def context(pair):
        c = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        c.load_cert_chain(*pair)
        return c

    kwargs = {"hostname": "127.0.0.1", "port": port, "ready_timeout": 10}
    server_kwargs = {}
    if "--starttls" in options:
        server_kwargs["tls_context"] = context(options["--starttls"])
        server_kwargs["require_starttls"] = False
    if "--smtps" in options:
        kwargs["ssl_context"] = context(options["--smtps"])
    if "--auth" in options:
        server_kwargs["authenticator"] = authenticator
        server_kwargs["auth_require_tls"] = "--require-tls" in options
        if "--no-plain" in options:
            server_kwargs["auth_exclude_mechanism"] = ["PLAIN"]
    controller = Controller(Handler(), **kwargs, **server_kwargs)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    controller.start()
    stop.wait()
    controller.stop()


if __name__ == "__main__":
    main()
