#!/usr/bin/env python3
"""Retrieving a message with a large attachment from a private Dovecot:
Tolmu's Retrieve (attachment decoded to its file) against curl fetching the
same message to /dev/null (no decoding) and against Python's poplib with the
email package decoding the attachment to a file. Prints the median wall time
of each, the ratios, and the peak memory (max RSS) of each process, for
attachments of several sizes so that memory growth shows.

Usage: bench/retrieve_bench.py [BUILD_DIR] [RUNS] [SIZES_MB...]
Run as root (Dovecot drops its mail processes to an unprivileged user).
"""
import hashlib
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
from email import policy
from email.message import EmailMessage

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build")
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
sizes = [int(s) for s in sys.argv[3:]] or [50, 10, 1]

if not os.path.exists(os.path.join(build, "build.ninja")):
    subprocess.run(["cmake", "-S", root, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                    "-DTOLMU_TESTS=ON"], check=True, stdout=subprocess.DEVNULL)
subprocess.run(["cmake", "--build", build, "--target", "bench_retrieve"], check=True,
               stdout=subprocess.DEVNULL)
helper = os.path.join(build, "bench", "bench_retrieve")

work = tempfile.mkdtemp(prefix="tolmu-bench-retrieve-")
os.chmod(work, 0o711)
attdir = os.path.join(work, "attachments")
os.mkdir(attdir)
rng = random.Random(99)

PYTHON_CLIENT = r"""
import email, os, poplib, sys
port, user, password, number, outdir = sys.argv[1:6]
p = poplib.POP3("127.0.0.1", int(port))
p.user(user)
p.pass_(password)
resp, lines, octets = p.retr(int(number))
p.quit()
msg = email.message_from_bytes(b"\r\n".join(lines))
for part in msg.walk():
    name = part.get_filename()
    if name:
        with open(os.path.join(outdir, name), "wb") as f:
            f.write(part.get_payload(decode=True))
"""


def make_message(mb):
    payload = rng.randbytes(mb * 1024 * 1024)
    m = EmailMessage()
    m["From"] = "bench@example.org"
    m["To"] = "bench@example.org"
    m["Subject"] = "%d MB attachment" % mb
    m.set_content("A message with one large attachment.\n")
    m.add_attachment(payload, maintype="application", subtype="octet-stream",
                     filename="big%d.bin" % mb)
    path = os.path.join(work, "msg%d.eml" % mb)
    with open(path, "wb") as f:
        f.write(m.as_bytes(policy=policy.SMTP))
    return path, hashlib.sha256(payload).hexdigest()


def timed(cmd, env=None):
    """Wall seconds and max RSS (KiB) of one command, measured by the helper."""
    proc = subprocess.run([helper, "measure"] + cmd, capture_output=True, env=env)
    err = proc.stderr.decode(errors="replace")
    if proc.returncode != 0:
        raise RuntimeError("%s failed: %s" % (cmd[0], err))
    fields = [l for l in err.splitlines() if l.startswith("measure ")][-1].split()
    return float(fields[1]), int(fields[2]), proc.stdout


messages = [make_message(mb) for mb in sizes]
server = subprocess.Popen([helper, "serve", "bench", "secret"] + [p for p, _ in messages],
                          stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=dict(os.environ, TMPDIR=work))
port = server.stdout.readline().decode().strip()
if not port:
    sys.exit("the Dovecot helper did not start")
env = dict(os.environ, TMPDIR=attdir)


def tolmu(n):
    t, rss, out = timed([helper, "fetch", port, "bench", "secret", str(n)], env)
    lines = out.decode().split("\n")
    paths = [l for l in lines[1:] if l]
    return t, rss, paths


def curl(n):
    t, rss, _ = timed(["curl", "-s", "-o", "/dev/null", "-u", "bench:secret",
                       "pop3://127.0.0.1:%s/%d" % (port, n)])
    return t, rss


def python(n):
    t, rss, _ = timed([sys.executable, "-c", PYTHON_CLIENT, port, "bench", "secret", str(n), attdir])
    return t, rss


def clear_attachments():
    for name in os.listdir(attdir):
        os.unlink(os.path.join(attdir, name))


try:
    # Warm up: the first login builds Dovecot's index of the mailbox.
    for n in range(1, len(messages) + 1):
        curl(n)
    print("attachment  tolmu s   curl s   python s  tolmu/curl  tolmu/python  "
          "RSS tolmu  RSS curl  RSS python (MiB)")
    for n, (mb, (path, digest)) in enumerate(zip(sizes, messages), start=1):
        t_tolmu, t_curl, t_python = [], [], []
        rss = {"tolmu": 0, "curl": 0, "python": 0}
        for _ in range(runs):
            t, r, paths = tolmu(n)
            with open(paths[0], "rb") as f:
                if hashlib.sha256(f.read()).hexdigest() != digest:
                    sys.exit("tolmu stored wrong bytes for %d MB" % mb)
            clear_attachments()
            t_tolmu.append(t)
            rss["tolmu"] = max(rss["tolmu"], r)
            t, r = curl(n)
            t_curl.append(t)
            rss["curl"] = max(rss["curl"], r)
            t, r = python(n)
            clear_attachments()
            t_python.append(t)
            rss["python"] = max(rss["python"], r)
        mt, mc, mp = (statistics.median(x) for x in (t_tolmu, t_curl, t_python))
        print("%7d MB  %7.3f  %7.3f  %8.3f  %10.2f  %12.2f  %9.1f  %8.1f  %10.1f" % (
            mb, mt, mc, mp, mt / mc, mt / mp,
            rss["tolmu"] / 1024, rss["curl"] / 1024, rss["python"] / 1024))
finally:
    server.stdin.close()
    server.wait(timeout=30)
    shutil.rmtree(work, ignore_errors=True)
