"""ZtSMTP and ZtPOP end to end: scripts run with `orin run` against real mail
servers started here on free loopback ports, and against scripted peers of
the test's own for the challenge-response logins and for misbehaviour.

- SMTP: Debian's python3-aiosmtpd (smtp_server.py), one instance with
  STARTTLS and AUTH PLAIN/LOGIN, one with AUTH LOGIN only, one speaking TLS
  from the first byte. The bytes each received are compared with what the
  script printed.
- POP3: Debian's dovecot, run as an instance of its own in a temporary
  directory (its login and mail processes take an unprivileged user when
  the tests run as root) over a Maildir the tests fill, plain and pop3s.

Servers are started once for the module and stopped by their process id.
"""
import base64
import hashlib
import hmac
import html
import os
import pwd
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest

import urllib.parse

from orin_e2e import EXAMPLE_SITE, ORIN, REPO, ZTASM, LoopbackPeer, ServerTest, free_port, wait_port

CERTS = os.path.join(REPO, "tests", "network", "make_certs.sh")
SMTP_SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "smtp_server.py")
SYSTEM_PYTHON = "/usr/bin/python3"
DOVECOT = shutil.which("dovecot") or "/usr/sbin/dovecot"

state = {}


def start_smtp(name, *options):
    d = state["dir"]
    out = os.path.join(d, name)
    os.makedirs(out)
    port = free_port()
    log = open(os.path.join(d, name + ".log"), "w")
    proc = subprocess.Popen([SYSTEM_PYTHON, SMTP_SERVER, str(port), out] + list(options),
                            stdout=log, stderr=log)
    state.setdefault("procs", []).append(proc)
    if not wait_port(port, proc):
        raise RuntimeError(f"SMTP server {name} did not start: " +
                           open(os.path.join(d, name + ".log")).read())
    state[name] = (port, out)


def start_dovecot():
    d = os.path.join(state["dir"], "dovecot")
    for sub in ("run", "state", "home/Maildir/new", "home/Maildir/cur", "home/Maildir/tmp"):
        os.makedirs(os.path.join(d, sub))
    # Dovecot's login and mail processes refuse to run as root: as root they
    # take its own unprivileged users, the mail process "nobody".
    me = pwd.getpwuid(os.getuid())
    if os.getuid() == 0:
        internal, login, mail_user = "dovecot", "dovenull", "nobody"
        mail_group = "nogroup"
        for root, dirs, _ in os.walk(os.path.join(d, "home")):
            os.chown(root, pwd.getpwnam("nobody").pw_uid, -1)
    else:
        internal = login = mail_user = me.pw_name
        mail_group = subprocess.run(["id", "-gn"], capture_output=True, text=True).stdout.strip()
    with open(os.path.join(d, "passwd"), "w") as f:
        f.write("alice:{PLAIN}wonderland::::::\n")
    plain, secure = free_port(), free_port()
    certs = state["dir"]
    conf = os.path.join(d, "dovecot.conf")
    with open(conf, "w") as f:
        f.write(f"""protocols = pop3
listen = 127.0.0.1
base_dir = {d}/run
state_dir = {d}/state
instance_name = orin-mail-test-{os.getpid()}
log_path = {d}/dovecot.log
ssl = yes
ssl_cert = <{certs}/good.pem
ssl_key = <{certs}/good.key
disable_plaintext_auth = no
auth_mechanisms = plain
auth_failure_delay = 0
default_internal_user = {internal}
default_login_user = {login}
first_valid_uid = 0
passdb {{
  driver = passwd-file
  args = {d}/passwd
}}
userdb {{
  driver = static
  args = uid={mail_user} gid={mail_group} home={d}/home
}}
mail_location = maildir:~/Maildir:INDEX=MEMORY
service pop3-login {{
  chroot =
  inet_listener pop3 {{
    port = {plain}
  }}
  inet_listener pop3s {{
    port = {secure}
    ssl = yes
  }}
}}
service anvil {{
  chroot =
}}
""")
    log = open(os.path.join(d, "out.log"), "w")
    proc = subprocess.Popen([DOVECOT, "-F", "-c", conf], stdout=log, stderr=log)
    state.setdefault("procs", []).append(proc)
    if not (wait_port(plain, proc) and wait_port(secure, proc)):
        raise RuntimeError("dovecot did not start: " + open(os.path.join(d, "out.log")).read())
    state["pop3"] = (plain, secure, os.path.join(d, "home", "Maildir"), mail_user)


def setUpModule():
    d = tempfile.mkdtemp(prefix="orin-mail-")
    os.chmod(d, 0o755)
    state["dir"] = d
    subprocess.run(["sh", CERTS, d], check=True)
    for name in ("good.pem", "good.key"):
        os.chmod(os.path.join(d, name), 0o644)
    pem, key = os.path.join(d, "good.pem"), os.path.join(d, "good.key")
    start_smtp("starttls", "--starttls", pem, key, "--auth")
    start_smtp("login", "--auth", "--no-plain")
    start_smtp("smtps", "--smtps", pem, key, "--auth")
    start_dovecot()


def tearDownModule():
    for proc in state.get("procs", []):
        proc.send_signal(signal.SIGTERM)
    for proc in state.get("procs", []):
        try:
            proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    shutil.rmtree(state.get("dir", ""), ignore_errors=True)


def asm_text(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n") \
        .replace("\r", "\\r") + '"'


def smtp_source(port, body_parts, to="bob@example.org", sender="alice@example.org",
                host="127.0.0.1", cc="", subject="Greetings", flags="", user="", password=""):
    """A script that sends one message whose text is `body_parts`, each
    printed with its own `out`, then prints "sent" or the tag's error."""
    ops = [asm_text(to), asm_text(sender), asm_text(host), asm_text(cc), asm_text(subject)]
    lines = [f"        pushc {o}" for o in ops]
    lines.append(f"        pushi {port}")
    lines += [f"        pushc {asm_text(o)}" for o in (flags, user, password)]
    lines.append("        op_smtpn end, 9")
    for part in body_parts:
        lines.append(f"        pushc {asm_text(part)}")
        lines.append("        out")
    lines.append("        op_smtp_end")
    lines.append('end:    pushc "|done"')
    lines.append("        out")
    return "\n".join(lines) + "\n"


class ScriptedPeer(LoopbackPeer):
    """A mail server of the test's own: runs `dialogue(io)` on each accepted
    connection, where io reads lines and sends replies; everything the
    client sent is kept in `received`."""

    def __init__(self, dialogue, connections=1):
        self.received = b""
        self.errors = []
        self.dialogue = dialogue
        super().__init__(connections, timeout=20)

    def handle(self, conn):
        try:
            self.dialogue(PeerIO(self, conn))
        except Exception as e:  # a failed check in the peer fails the test
            self.errors.append(repr(e))


class PeerIO:
    def __init__(self, peer, conn):
        self.peer, self.conn, self.buf = peer, conn, b""

    def line(self):
        while b"\n" not in self.buf:
            chunk = self.conn.recv(65536)
            if not chunk:
                raise EOFError("client closed")
            self.buf += chunk
        line, self.buf = self.buf.split(b"\n", 1)
        self.peer.received += line + b"\n"
        return line.rstrip(b"\r").decode("latin-1")

    def until(self, end):
        while end not in self.buf:
            chunk = self.conn.recv(65536)
            if not chunk:
                raise EOFError("client closed")
            self.buf += chunk
        data, self.buf = self.buf.split(end, 1)
        self.peer.received += data + end
        return data

    def send(self, text):
        self.conn.sendall(text.encode("latin-1"))


class MailTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="orin-mail-run-")
        self.html = os.path.join(self.dir, "html")
        self.data = os.path.join(self.dir, "data")
        os.makedirs(self.html)
        os.makedirs(self.data)
        self.config = os.path.join(self.dir, "vm.toml")
        open(self.config, "w").close()

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def run_script(self, source, *settings):
        src = os.path.join(self.dir, "t.zasm")
        with open(src, "w") as f:
            f.write(source)
        out = os.path.join(self.html, "t.ztc")
        asm = subprocess.run([ZTASM, "-o", out, src], capture_output=True, text=True)
        self.assertEqual(asm.returncode, 0, asm.stderr + asm.stdout + source)
        cmd = [ORIN, "run", "--root", self.html, "--data", self.data, "--config", self.config]
        for s in ("mailtimeout=10",) + settings:
            cmd += ["--set", s]
        proc = subprocess.run(cmd + [out], capture_output=True, cwd=self.data, timeout=120)
        self.assertNotIn(b"Sanitizer", proc.stderr, proc.stderr.decode("latin-1"))
        # Error texts reach the client HTML-encoded.
        return html.unescape(proc.stdout.decode("latin-1"))

    def ca(self):
        return "cafile=" + os.path.join(state["dir"], "ca.pem")

    def take_messages(self, name):
        """The messages the server `name` received since the last call."""
        out = state[name][1]
        found = []
        for entry in sorted(os.listdir(out)):
            if entry.endswith(".eml"):
                base = os.path.join(out, entry[:-4])
                with open(base + ".eml", "rb") as f:
                    text = f.read()
                with open(base + ".env") as f:
                    envelope = f.read().split("\n")[:-1]
                found.append((envelope, text))
                os.unlink(base + ".eml")
                os.unlink(base + ".env")
        return found

    def take_auth_log(self, name):
        path = os.path.join(state[name][1], "auth.log")
        if not os.path.exists(path):
            return []
        with open(path) as f:
            lines = f.read().splitlines()
        os.unlink(path)
        return lines

    # --- SMTP against aiosmtpd ---

    def test_message_bytes_headers_and_envelope(self):
        port = state["starttls"][0]
        body = ["\nDear Bob,\n", ".\n.hidden dot\n", "a lone CR\rthen LF CR\n\rand ", "CR LF\r\n",
                "..\nlast line without end"]
        out = self.run_script(smtp_source(port, body, to="bob@example.org, carol@example.org",
                                          cc="dave@example.org", subject="Hello there"))
        self.assertEqual(out, "|done")
        (envelope, text), = self.take_messages("starttls")
        self.assertEqual(envelope, ["alice@example.org", "bob@example.org", "carol@example.org",
                                    "dave@example.org"])
        user = pwd.getpwuid(os.getuid()).pw_name
        head, sep, rest = text.partition(b"\r\n\r\n")
        self.assertEqual(sep, b"\r\n\r\n", text)
        lines = head.split(b"\r\n")
        self.assertRegex(lines[0].decode(), r"^Date: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), \d\d "
                         r"(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d{4} "
                         r"\d\d:\d\d:\d\d [+-]\d{4}$")
        self.assertEqual(lines[1:], [b"From: alice@example.org",
                                     b"To: bob@example.org, carol@example.org",
                                     b"CC: dave@example.org",
                                     b"X-Mailer: Zeto v5.52 (" + user.encode() + b")",
                                     b"Subject: Hello there"])
        # The server undoes the dot-stuffing: what arrives is what was printed,
        # with every line end as CR LF and a line end added at the end.
        self.assertEqual(rest, b"Dear Bob,\r\n.\r\n.hidden dot\r\na lone CR\r\nthen LF CR\r\n"
                               b"and CR LF\r\n..\r\nlast line without end\r\n")

    def test_noheaders_and_plain_and_login_authentication(self):
        port = state["starttls"][0]
        out = self.run_script(smtp_source(port, ["\n\nSubject: own\n\nbody"], flags="noheaders",
                                          user="alice", password="wonderland"))
        self.assertEqual(out, "|done")
        (_, text), = self.take_messages("starttls")
        self.assertEqual(text, b"Subject: own\r\n\r\nbody\r\n")
        self.assertEqual(self.take_auth_log("starttls"), ["PLAIN alice ok"])

        port = state["login"][0]
        out = self.run_script(smtp_source(port, ["hi"], user="alice", password="wonderland"))
        self.assertEqual(out, "|done")
        self.assertEqual(len(self.take_messages("login")), 1)
        self.assertEqual(self.take_auth_log("login"), ["LOGIN alice ok"])

        out = self.run_script(smtp_source(port, ["hi"], user="alice", password="wrong"))
        self.assertIn("ZtSMTP: 535 5.7.8 Authentication credentials invalid", out)
        self.assertTrue(out.endswith("|done"), out)
        self.assertEqual(self.take_messages("login"), [])
        self.assertEqual(self.take_auth_log("login"), ["LOGIN alice refused"])

    def test_starttls_and_tls_verify_the_server(self):
        port = state["starttls"][0]
        source = smtp_source(port, ["\nover TLS"], flags="starttls", host="localhost",
                             user="alice", password="wonderland")
        self.assertEqual(self.run_script(source, self.ca()), "|done")
        (_, text), = self.take_messages("starttls")
        self.assertTrue(text.endswith(b"\r\n\r\nover TLS\r\n"), text)
        self.assertEqual(self.take_auth_log("starttls"), ["PLAIN alice ok"])

        refused = self.run_script(source)
        self.assertIn("ZtSMTP: Error establishing SSL connection: certificate verify failed",
                      refused)
        self.assertEqual(self.take_messages("starttls"), [])

        port = state["smtps"][0]
        source = smtp_source(port, ["implicit"], flags="TLS", host="localhost",
                             user="alice", password="wonderland")
        self.assertEqual(self.run_script(source, self.ca()), "|done")
        self.assertEqual(len(self.take_messages("smtps")), 1)
        self.assertEqual(self.take_auth_log("smtps"), ["PLAIN alice ok"])

        port = state["login"][0]
        out = self.run_script(smtp_source(port, ["x"], flags="starttls"))
        self.assertIn("ZtSMTP: Server does not support STARTTLS", out)

    # --- SMTP against scripted peers ---

    def greet(self, io, extensions):
        io.send("220 peer ready\r\n")
        hello = io.line()
        if extensions is None:
            io.send("250 hi\r\n")
            return hello
        io.send("250-peer\r\n" + "".join(f"250-{e}\r\n" for e in extensions) + "250 OK\r\n")
        return hello

    def accept_message(self, io):
        for expect in ("MAIL FROM: ", "RCPT TO: "):
            line = io.line()
            if not line.startswith(expect):
                raise AssertionError(line)
            io.send("250 ok\r\n")
        if io.line() != "DATA":
            raise AssertionError("no DATA")
        io.send("354 go\r\n")
        data = io.until(b"\r\n.\r\n")
        io.send("250 queued\r\n")
        if io.line() != "QUIT":
            raise AssertionError("no QUIT")
        return data

    def test_cram_md5_is_chosen_before_plain_and_login(self):
        challenge = "<1896.697170952@postoffice.reston.mci.net>"
        answers = []

        def dialogue(io):
            self.greet(io, ["AUTH LOGIN PLAIN CRAM-MD5"])
            if io.line() != "AUTH CRAM-MD5":
                raise AssertionError("not CRAM-MD5")
            io.send("334 " + base64.b64encode(challenge.encode()).decode() + "\r\n")
            answers.append(base64.b64decode(io.line()).decode())
            io.send("235 ok\r\n")
            self.accept_message(io)

        peer = ScriptedPeer(dialogue)
        out = self.run_script(smtp_source(peer.port, ["x"], user="tim",
                                          password="tanstaaftanstaaf"))
        peer.close()
        self.assertEqual(peer.errors, [])
        self.assertEqual(out, "|done")
        # The worked example of RFC 2195, and the same digest computed here.
        self.assertEqual(answers, ["tim b913a602c7eda7a495b4e6e7334d3890"])
        mine = hmac.new(b"tanstaaftanstaaf", challenge.encode(), hashlib.md5).hexdigest()
        self.assertEqual(answers[0], "tim " + mine)

    def digest_dialogue(self, fields, rspauth_ok=True, final="235 ok\r\n"):
        def dialogue(io):
            self.greet(io, ["AUTH PLAIN CRAM-MD5 DIGEST-MD5", "STARTTLS"])
            if io.line() != "AUTH DIGEST-MD5":
                raise AssertionError("not DIGEST-MD5")
            io.send("334 " + base64.b64encode(
                b'realm="elwood.innosoft.com",nonce="OA6MG9tEQGm2hh",qop="auth",'
                b'algorithm=md5-sess,charset=utf-8').decode() + "\r\n")
            text = base64.b64decode(io.line()).decode()
            pairs = dict(re.findall(r'([a-z-]+)=("[^"]*"|[^,]*)', text))
            fields.update({k: v.strip('"') for k, v in pairs.items()})
            fields["line"] = text
            # Computed here from RFC 2831 with the client's own nonce.
            H = lambda b: hashlib.md5(b).digest()
            HEX = lambda b: hashlib.md5(b).hexdigest()
            a1 = H(b"chris:elwood.innosoft.com:secret") + \
                f":OA6MG9tEQGm2hh:{fields['cnonce']}".encode()
            common = f":OA6MG9tEQGm2hh:00000001:{fields['cnonce']}:auth:"
            uri = fields["digest-uri"].encode()
            fields["expected"] = HEX((HEX(a1) + common + HEX(b"AUTHENTICATE:" + uri)).encode())
            proof = HEX((HEX(a1) + common + HEX(b":" + uri)).encode())
            if not rspauth_ok:
                proof = "0" * 32
            io.send("334 " + base64.b64encode(f"rspauth={proof}".encode()).decode() + "\r\n")
            if io.line() != "":
                raise AssertionError("no empty line after rspauth")
            io.send(final)
            if final.startswith("235"):
                self.accept_message(io)
        return dialogue

    def test_digest_md5_is_chosen_first_and_checks_the_server(self):
        fields = {}
        peer = ScriptedPeer(self.digest_dialogue(fields))
        out = self.run_script(smtp_source(peer.port, ["x"], user="chris", password="secret"))
        peer.close()
        self.assertEqual(peer.errors, [])
        self.assertEqual(out, "|done")
        self.assertEqual(fields["digest-uri"], "smtp/127.0.0.1")
        self.assertEqual(fields["response"], fields["expected"])
        self.assertEqual(len(base64.b64decode(fields["cnonce"])), 16)
        self.assertEqual(fields["line"],
                         'username="chris",realm="elwood.innosoft.com",nonce="OA6MG9tEQGm2hh",'
                         f'cnonce="{fields["cnonce"]}",nc=00000001,qop="auth",'
                         'digest-uri="smtp/127.0.0.1",charset=utf-8,'
                         f'response="{fields["expected"]}"')

        peer = ScriptedPeer(self.digest_dialogue({}, rspauth_ok=False))
        out = self.run_script(smtp_source(peer.port, ["x"], user="chris", password="secret"))
        peer.close()
        self.assertIn("ZtSMTP: rspauth mismatch during DIGEST-MD5 authentication", out)

    def test_helo_without_login_and_a_5xx_reply_at_each_step(self):
        hellos = []

        def plain(io):
            hellos.append(self.greet(io, None))
            self.accept_message(io)

        peer = ScriptedPeer(plain)
        self.assertEqual(self.run_script(smtp_source(peer.port, ["x"])), "|done")
        peer.close()
        self.assertEqual(hellos, ["HELO 127.0.0.1"])

        def failing(step):
            def dialogue(io):
                replies = ["220 hi\r\n", "250 hi\r\n", "250 ok\r\n", "250 ok\r\n", "354 go\r\n"]
                if step < 5:
                    replies[step] = f"55{step} 5.0.0 refused at step {step}\r\n"
                io.send(replies[0])
                for reply in replies[1:step + 1]:
                    io.line()
                    io.send(reply)
                if step == 5:
                    io.until(b"\r\n.\r\n")
                    io.send("552-5.3.4 too big\r\n552 5.3.4 really\r\n")
                # The client must close without a further command.
                try:
                    while io.line() == "QUIT":
                        pass
                    raise AssertionError("command after a refusal")
                except EOFError:
                    pass
            return dialogue

        for step in range(6):
            peer = ScriptedPeer(failing(step))
            out = self.run_script(smtp_source(peer.port, ["x"]))
            peer.close()
            self.assertEqual(peer.errors, [], step)
            want = "552-5.3.4 too big\n552 5.3.4 really" if step == 5 else \
                f"55{step} 5.0.0 refused at step {step}"
            self.assertIn(f"ZtSMTP: {want}", out, step)
            self.assertTrue(out.endswith("|done"), out)

    def test_refused_silent_and_unsuitable_servers(self):
        port = free_port()
        out = self.run_script(smtp_source(port, ["x"]))
        self.assertIn(f"ZtSMTP: Error connecting to '127.0.0.1': Error connecting to 127.0.0.1 "
                      f"on port {port}: Connection failed", out)

        silent = ScriptedPeer(lambda io: io.until(b"never"))
        out = self.run_script(smtp_source(silent.port, ["x"]), "mailtimeout=1")
        silent.close()
        self.assertIn("ZtSMTP: Read Timeout", out)

        def no_auth(io):
            self.greet(io, ["SIZE 100", "AUTH GSSAPI"])
            io.line()

        peer = ScriptedPeer(no_auth)
        out = self.run_script(smtp_source(peer.port, ["x"], user="u", password="p"))
        peer.close()
        self.assertIn("ZtSMTP: No supported authentication methods are allowed by the server",
                      out)

        def odd_login(io):
            self.greet(io, ["AUTH LOGIN"])
            io.line()
            io.send("334 " + base64.b64encode(b"Who are you?").decode() + "\r\n")
            io.line()

        peer = ScriptedPeer(odd_login)
        out = self.run_script(smtp_source(peer.port, ["x"], user="u", password="p"))
        peer.close()
        self.assertIn("ZtSMTP: Invalid AUTH LOGIN handshake", out)

        out = self.run_script(smtp_source(1, ["x"], flags="tls, starttls"))
        self.assertIn('ZtSMTP: Only one of the "tls" or "starttls" flags may be specified', out)
        out = self.run_script(smtp_source(1, ["x"], flags="noheaders,  fast "))
        self.assertIn('ZtSMTP: Unsupported flag "fast"', out)

    # --- POP3 against dovecot ---

    MESSAGES = [
        b"From: Carol <carol@example.org>\nReply-To: replies@example.org\n"
        b"Date: Sat, 05 Dec 2026 10:00:00 +0100\nSubject: First\n  folded\n\nHello.\n",
        b"From: dave@example.org\nDate: Sun, 06 Dec 2026 08:00:00 +0000\n\n"
        b".\n..\n.leading dot\nend\n",
    ]

    def fill_maildir(self, large=True):
        maildir, mail_user = state["pop3"][2], state["pop3"][3]
        for sub in ("new", "cur"):
            for name in os.listdir(os.path.join(maildir, sub)):
                os.unlink(os.path.join(maildir, sub, name))
        messages = list(self.MESSAGES)
        if large:
            line = b"0123456789" * 7 + b"\n"
            messages.append(b"From: big@example.org\nSubject: Large\n\n" + line * 8000)
        for i, text in enumerate(messages):
            path = os.path.join(maildir, "new", f"{1000 + i}.M{i}P1.orin")
            with open(path, "wb") as f:
                f.write(text)
            os.utime(path, (1000 + i, 1000 + i))
            if os.getuid() == 0:
                os.chown(path, pwd.getpwnam(mail_user).pw_uid, -1)
        return messages

    def maildir_count(self):
        maildir = state["pop3"][2]
        return sum(len(os.listdir(os.path.join(maildir, s))) for s in ("new", "cur"))

    def pop_source(self, host, user="alice", password="wonderland", directory="inbox",
                   body=None):
        loop = body if body is not None else """        pushg messagesubject
        out
        pushc "|"
        out
        pushg messagesender
        out
        pushc "|"
        out
        pushg messagereplyto
        out
        pushc "|"
        out
        pushg messagedate
        out
        pushc "|"
        out
        pushg messagebody
        out
        pushc "\\n"
        out
"""
        return (f"        pushc {asm_text(host)}\n        pushc {asm_text(user)}\n"
                f"        pushc {asm_text(password)}\n        pushc {asm_text(directory)}\n"
                "        pop3 end\nbody:\n" + loop + "        pop3loop body\n"
                'end:    pushc "|done"\n        out\n')

    def test_pop3_lists_and_fetches_into_files(self):
        messages = self.fill_maildir()
        os.makedirs(os.path.join(self.data, "inbox"))
        out = self.run_script(self.pop_source(f"127.0.0.1:{state['pop3'][0]}"))
        rows = out.split("\n")
        self.assertEqual(rows[:3], [
            "First folded|Carol <carol@example.org>|replies@example.org|"
            "Sat, 05 Dec 2026 10:00:00 +0100|inbox/ZTPOPM.1",
            "(no subject)|dave@example.org|dave@example.org|Sun, 06 Dec 2026 08:00:00 +0000|"
            "inbox/ZTPOPM.2",
            "Large|big@example.org|big@example.org||inbox/ZTPOPM.3"], out)
        self.assertEqual(rows[3], "|done")
        for i, text in enumerate(messages):
            with open(os.path.join(self.data, "inbox", f"ZTPOPM.{i + 1}"), "rb") as f:
                self.assertEqual(f.read(), text.replace(b"\n", b"\r\n"), i)
        self.assertEqual(self.maildir_count(), 3)

    def test_pop3_delete_stop_and_empty_mailbox(self):
        self.fill_maildir(large=False)
        os.makedirs(os.path.join(self.data, "inbox"))
        host = f"127.0.0.1:{state['pop3'][0]}"
        # Stop after the first message: nothing is deleted.
        out = self.run_script(self.pop_source(host, body="""        pushg messagesubject
        out
        pop3stop end
"""))
        self.assertEqual(out, "First folded|done")
        self.assertEqual(self.maildir_count(), 2)
        out = self.run_script(self.pop_source(host, body="        pop3delete\n"))
        self.assertEqual(out, "|done")
        self.assertEqual(self.maildir_count(), 0)
        out = self.run_script(self.pop_source(host, body="""        pushc "ran"
        out
"""))
        self.assertEqual(out, "|done")
        out = self.run_script("        pop3delete\n        pushc \"|after\"\n        out\n")
        self.assertIn("ZtPOP: No messages exist", out)
        self.assertTrue(out.endswith("|after"), out)

    def test_pop3_over_tls_and_its_failures(self):
        self.fill_maildir(large=False)
        os.makedirs(os.path.join(self.data, "inbox"))
        host = f"pop3s://localhost:{state['pop3'][1]}"
        out = self.run_script(self.pop_source(host), self.ca())
        self.assertEqual(out.count("\n"), 2, out)
        self.assertTrue(out.startswith("First folded|"), out)
        out = self.run_script(self.pop_source(host))
        self.assertIn("ZtPOP: Error connecting to 'localhost': Error establishing SSL "
                      "connection: certificate verify failed", out)
        out = self.run_script(self.pop_source(f"127.0.0.1:{state['pop3'][0]}",
                                              password="wrong"))
        self.assertIn("ZtPOP: Error logging into '127.0.0.1': [AUTH] Authentication failed.", out)
        self.assertTrue(out.endswith("|done"), out)
        port = free_port()
        out = self.run_script(self.pop_source(f"127.0.0.1:{port}"))
        self.assertIn(f"ZtPOP: Error connecting to '127.0.0.1': Error connecting to 127.0.0.1 "
                      f"on port {port}: Connection failed", out)
        # A message file that cannot be created reports the file manager's error.
        out = self.run_script(self.pop_source(f"127.0.0.1:{state['pop3'][0]}",
                                              directory="missing"))
        self.assertRegex(out, "ZtPOP: .*No such file or directory")
        self.assertNotIn("|ZTPOPM", out)
        self.assertEqual(self.maildir_count(), 2)

    def test_pop3_scripted_peer_misbehaviour(self):
        def more_than_stat(io):
            io.send("+OK hi\r\n")
            for reply in ("+OK\r\n", "+OK\r\n", "+OK 1 100\r\n"):
                io.line()
                io.send(reply)
            io.line()
            io.send("+OK\r\n1 50\r\n2 50\r\n.\r\n")
            io.line()

        peer = ScriptedPeer(more_than_stat)
        out = self.run_script(self.pop_source(f"127.0.0.1:{peer.port}"))
        peer.close()
        self.assertIn(f"ZtPOP: Error while retrieving list of messages from '127.0.0.1': "
                      "More messages than expected returned from server", out)
        self.assertIn(b"QUIT\r\n", peer.received)

        def refusing_dele(io):
            io.send("+OK hi\r\n")
            for reply in ("+OK\r\n", "+OK\r\n", "+OK 1 10\r\n", "+OK\r\n1 10\r\n.\r\n",
                          "+OK\r\nSubject: s\r\n\r\nbody\r\n.\r\n", "-ERR locked\r\n"):
                io.line()
                io.send(reply)
            io.line()

        os.makedirs(os.path.join(self.data, "inbox"))
        peer = ScriptedPeer(refusing_dele)
        out = self.run_script(self.pop_source(f"127.0.0.1:{peer.port}", body="        pop3delete\n"))
        peer.close()
        self.assertIn("ZtPOP: Error deleting message #1: locked", out)
        self.assertIn(b"RETR 1\r\nDELE 1\r\nQUIT\r\n", peer.received)

        silent = ScriptedPeer(lambda io: io.until(b"never"))
        out = self.run_script(self.pop_source(f"127.0.0.1:{silent.port}"), "mailtimeout=1")
        silent.close()
        self.assertIn("ZtPOP: Error connecting to '127.0.0.1': Invalid response from server", out)


class MailPage(ServerTest):
    """The example site's mail form, sending through the aiosmtpd server."""

    def setUp(self):
        super().setUp()
        if not os.path.exists(os.path.join(EXAMPLE_SITE, "mail.ztc")):
            self.fail(f"the example site is not built in {EXAMPLE_SITE}")
        self.server = self.serve(root=EXAMPLE_SITE)

    def post(self, **fields):
        body = urllib.parse.urlencode(fields).encode()
        return self.server.request("/mail.ztc", method="POST", body=body,
                                   headers=[("Content-Type",
                                             "application/x-www-form-urlencoded")]).text

    def test_the_form_sends_and_explains_failures(self):
        port, out = state["starttls"]
        page = self.post(server="127.0.0.1", port=str(port), to="bob@example.org",
                         **{"from": "ann@example.org"}, subject="From the form",
                         message="Hi Bob,\n.\nsee you")
        self.assertIn('<p id="result">The message to <b>bob@example.org</b> was accepted', page)
        sent = [n for n in os.listdir(out) if n.endswith(".eml")]
        self.assertEqual(len(sent), 1)
        with open(os.path.join(out, sent[0]), "rb") as f:
            text = f.read()
        for n in sent:
            os.unlink(os.path.join(out, n))
            os.unlink(os.path.join(out, n[:-4] + ".env"))
        self.assertIn(b"\r\nSubject: From the form\r\n\r\nHi Bob,\r\n.\r\nsee you\r\n", text)

        page = self.post(server="", to="bob@example.org", message="x")
        self.assertIn("No mail server is configured", page)
        closed = free_port()
        page = self.post(server="127.0.0.1", port=str(closed), to="bob@example.org",
                         **{"from": "ann@example.org"}, subject="s", message="x")
        self.assertIn("The message was not sent: Error connecting to &#39;127.0.0.1&#39;", page)
        self.assertIn("Connection failed", page)


if __name__ == "__main__":
    unittest.main()
